// The deterministic quantiser; the rules are in quantiser.h.
#include "host/quantiser.h"

#include "host/images.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace pictra::host {
namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFF;

struct Candidate {
    uint32_t colour;
    uint8_t index;
};

uint32_t channel(uint32_t colour, int axis) { return (colour >> (16 - 8 * axis)) & 0xFF; }

uint32_t distance(uint32_t a, uint32_t b) {
    uint32_t sum = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const int32_t d = static_cast<int32_t>(channel(a, axis)) - static_cast<int32_t>(channel(b, axis));
        sum += static_cast<uint32_t>(d * d);
    }
    return sum;
}

// Candidates are in ascending index order, so the strict comparison keeps
// the lowest index on a tie.
uint8_t nearest(uint32_t colour, std::span<const Candidate> candidates) {
    uint8_t best = candidates.front().index;
    uint32_t bestDistance = UINT32_MAX;
    for (const Candidate& c : candidates) {
        const uint32_t d = distance(colour, c.colour);
        if (d < bestDistance) {
            bestDistance = d;
            best = c.index;
            if (d == 0) break;
        }
    }
    return best;
}

// Reads the source one pixel at a time in either layout.
struct Source {
    const ConvertJob& job;
    const uint8_t* indexes = nullptr;
    const uint32_t* words = nullptr;
    std::size_t count = 0;
    bool keepTransparent = false;  // a destination pen exists

    bool transparent(std::size_t i) const {
        if (words) return (words[i] >> 24) < 128;
        return job.sourceTransparentPen >= 0 && indexes[i] == job.sourceTransparentPen;
    }
    // True when the pixel gets the destination pen rather than a colour.
    bool takesPen(std::size_t i) const { return keepTransparent && transparent(i); }
    uint32_t colour(std::size_t i) const {
        return (words ? words[i] : job.sourcePalette[indexes[i]]) & kRgbMask;
    }
};

bool validJob(const void* source, const uint8_t* destination, const ConvertJob* job,
              int32_t mode) {
    if (!source || !destination || !job || !job->destinationPalette) return false;
    if (mode != ConvertMapToPalette && mode != ConvertChoosePalette) return false;
    if (job->width < 1 || job->height < 1) return false;
    // The same caps as decoding: a picture the host would not decode is not
    // converted either.
    const DecodeLimits limits = decodeLimits();
    if (uint32_t(job->width) > limits.maxDimension || uint32_t(job->height) > limits.maxDimension ||
        uint64_t(job->width) * uint64_t(job->height) > limits.maxPixelBytes / 4)
        return false;
    const bool palette = job->sourceDepth >= 1 && job->sourceDepth <= 8;
    if (!palette && job->sourceDepth != 32) return false;
    if (palette && !job->sourcePalette) return false;
    if (job->destinationDepth < 1 || job->destinationDepth > 8) return false;
    if (job->sourceTransparentPen < -1 || job->sourceTransparentPen > 255) return false;
    const int32_t entries = 1 << job->destinationDepth;
    return job->destinationTransparentPen >= -1 && job->destinationTransparentPen < entries;
}

void mapPixels(const Source& source, uint8_t* destination, std::span<const Candidate> candidates,
               int32_t pen) {
    if (source.indexes) {
        // At most 256 distinct source colours: decide each index once.
        std::array<int16_t, 256> mapped;
        mapped.fill(-1);
        for (std::size_t i = 0; i < source.count; ++i) {
            if (source.takesPen(i)) {
                destination[i] = static_cast<uint8_t>(pen);
                continue;
            }
            int16_t& slot = mapped[source.indexes[i]];
            if (slot < 0) slot = nearest(source.colour(i), candidates);
            destination[i] = static_cast<uint8_t>(slot);
        }
        return;
    }
    // True colour: a small direct-mapped cache of recent colours.
    constexpr std::size_t kCacheBits = 12;
    constexpr uint64_t kValid = uint64_t{1} << 40;
    std::vector<uint64_t> cache(std::size_t{1} << kCacheBits, 0);
    for (std::size_t i = 0; i < source.count; ++i) {
        if (source.takesPen(i)) {
            destination[i] = static_cast<uint8_t>(pen);
            continue;
        }
        const uint32_t colour = source.colour(i);
        uint64_t& slot = cache[(colour * 2654435761u) >> (32 - kCacheBits)];
        if ((slot & kValid) && (slot >> 8 & kRgbMask) == colour) {
            destination[i] = static_cast<uint8_t>(slot);
            continue;
        }
        const uint8_t index = nearest(colour, candidates);
        slot = kValid | uint64_t{colour} << 8 | index;
        destination[i] = index;
    }
}

struct Weighted {
    uint32_t colour;
    uint32_t pixels;  // the caps keep a picture far below 2^32 pixels
};

struct Box {
    std::size_t begin;
    std::size_t end;
    uint64_t pixels;
    int axis;        // the channel with the widest range
    uint32_t range;  // that range
};

Box makeBox(std::span<const Weighted> colours, std::size_t begin, std::size_t end) {
    Box box{begin, end, 0, 0, 0};
    std::array<uint32_t, 3> low{255, 255, 255};
    std::array<uint32_t, 3> high{0, 0, 0};
    for (std::size_t i = begin; i < end; ++i) {
        box.pixels += colours[i].pixels;
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], channel(colours[i].colour, axis));
            high[axis] = std::max(high[axis], channel(colours[i].colour, axis));
        }
    }
    // Ties between channels go to the first of red, green, blue.
    for (int axis = 0; axis < 3; ++axis) {
        const uint32_t range = high[axis] - low[axis];
        if (range > box.range) {
            box.range = range;
            box.axis = axis;
        }
    }
    return box;
}

uint32_t meanColour(std::span<const Weighted> colours, const Box& box) {
    std::array<uint64_t, 3> sums{0, 0, 0};
    for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int axis = 0; axis < 3; ++axis)
            sums[axis] += uint64_t{channel(colours[i].colour, axis)} * colours[i].pixels;
    }
    uint32_t colour = 0;
    for (int axis = 0; axis < 3; ++axis)
        colour |= static_cast<uint32_t>((sums[axis] + box.pixels / 2) / box.pixels) << (16 - 8 * axis);
    return colour;
}

// Needs more distinct colours than `wanted`, so every split is possible.
std::vector<uint32_t> medianCut(std::vector<Weighted>& colours, std::size_t wanted) {
    std::vector<Box> boxes{makeBox(colours, 0, colours.size())};
    while (boxes.size() < wanted) {
        std::size_t chosen = boxes.size();
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            const Box& box = boxes[b];
            if (box.end - box.begin < 2) continue;
            if (chosen == boxes.size() || box.range > boxes[chosen].range ||
                (box.range == boxes[chosen].range && box.pixels > boxes[chosen].pixels))
                chosen = b;
        }
        if (chosen == boxes.size()) break;  // every box is a single colour
        const Box box = boxes[chosen];
        const int axis = box.axis;
        std::sort(colours.begin() + static_cast<std::ptrdiff_t>(box.begin),
                  colours.begin() + static_cast<std::ptrdiff_t>(box.end),
                  [axis](const Weighted& a, const Weighted& b) {
                      const uint32_t ca = channel(a.colour, axis);
                      const uint32_t cb = channel(b.colour, axis);
                      return ca != cb ? ca < cb : a.colour < b.colour;
                  });
        // Cut after the colour at which half the pixels are reached, keeping
        // at least one colour on each side.
        uint64_t running = 0;
        std::size_t cut = box.begin + 1;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            running += colours[i].pixels;
            if (running * 2 >= box.pixels) {
                cut = i + 1;
                break;
            }
        }
        cut = std::clamp(cut, box.begin + 1, box.end - 1);
        boxes[chosen] = makeBox(colours, box.begin, cut);
        boxes.push_back(makeBox(colours, cut, box.end));
    }
    std::vector<uint32_t> palette;
    palette.reserve(boxes.size());
    for (const Box& box : boxes) palette.push_back(meanColour(colours, box));
    return palette;
}

// Where `colour` sits among the sorted distinct colours.
std::size_t rank(const std::vector<uint32_t>& distinct, uint32_t colour) {
    return static_cast<std::size_t>(std::lower_bound(distinct.begin(), distinct.end(), colour) -
                                    distinct.begin());
}

// The pixels are read where they are; the one copy made is the sorted set
// of distinct colours (4 bytes a pixel at worst), then their weights.
std::vector<uint32_t> choosePalette(const Source& source, std::size_t room) {
    std::vector<uint32_t> distinct;
    for (std::size_t i = 0; i < source.count; ++i)
        if (!source.takesPen(i)) distinct.push_back(source.colour(i));
    if (distinct.empty()) return {};
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    distinct.shrink_to_fit();

    if (distinct.size() > room) {
        std::vector<Weighted> weighted(distinct.size());
        for (std::size_t k = 0; k < distinct.size(); ++k) weighted[k].colour = distinct[k];
        for (std::size_t i = 0; i < source.count; ++i)
            if (!source.takesPen(i)) ++weighted[rank(distinct, source.colour(i))].pixels;
        distinct = {};
        return medianCut(weighted, room);
    }
    // Few enough: the picture's own colours in order of first appearance.
    std::vector<uint32_t> palette;
    std::vector<bool> seen(distinct.size(), false);
    for (std::size_t i = 0; i < source.count && palette.size() < distinct.size(); ++i) {
        if (source.takesPen(i)) continue;
        const std::size_t k = rank(distinct, source.colour(i));
        if (seen[k]) continue;
        seen[k] = true;
        palette.push_back(distinct[k]);
    }
    return palette;
}

}  // namespace

int32_t convertPixels(const void* source, uint8_t* destination, const ConvertJob* job,
                      int32_t mode, uintptr_t) {
    if (!validJob(source, destination, job, mode)) return 0;
    try {
        Source pixels{*job};
        pixels.count = std::size_t(job->width) * std::size_t(job->height);
        if (job->sourceDepth == 32)
            pixels.words = static_cast<const uint32_t*>(source);
        else
            pixels.indexes = static_cast<const uint8_t*>(source);
        const int32_t pen = job->destinationTransparentPen;
        pixels.keepTransparent = pen >= 0;
        const int32_t entries = 1 << job->destinationDepth;

        std::vector<Candidate> candidates;
        if (mode == ConvertChoosePalette) {
            const std::size_t room = static_cast<std::size_t>(entries - (pen >= 0 ? 1 : 0));
            const std::vector<uint32_t> chosen = choosePalette(pixels, room);
            std::fill(job->destinationPalette, job->destinationPalette + 256, 0u);
            int32_t index = 0;
            for (uint32_t colour : chosen) {
                if (index == pen) ++index;
                job->destinationPalette[index] = colour;
                candidates.push_back({colour, static_cast<uint8_t>(index)});
                ++index;
            }
        } else {
            for (int32_t index = 0; index < entries; ++index) {
                if (index == pen) continue;
                candidates.push_back(
                    {job->destinationPalette[index] & kRgbMask, static_cast<uint8_t>(index)});
            }
        }
        // With no candidates every pixel takes the pen (mode 2, all transparent).
        if (candidates.empty()) {
            if (pen < 0) return 0;
            std::fill(destination, destination + pixels.count, static_cast<uint8_t>(pen));
            return 1;
        }
        mapPixels(pixels, destination, candidates, pen);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace pictra::host
