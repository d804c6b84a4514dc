#include "macos/icns_channels.h"

#include <cstring>

namespace {

constexpr uint32_t LeadInBytes = 4;
// Pictures whose 4-byte pixels exceed 16 bits of size carry the lead-in.
constexpr uint32_t LeadInAbovePixelBytes = 0xFFFF;
constexpr uint32_t MaxLiteral = 128;
constexpr uint32_t MaxRepeat = 130;
constexpr uint32_t RepeatBias = 125;  // control = count + 125 for a repeat
constexpr uint32_t FirstRepeatControl = 0x80;
constexpr int32_t ChannelShifts[3] = {16, 8, 0};  // red, green, blue
constexpr uint8_t ArgbMagic[] = {'A', 'R', 'G', 'B'};

// Packet writer over the caller's buffer: every emit checks the room first.
struct PacketOutput {
    uint8_t* out;
    uint32_t room;
    uint32_t used;
    int32_t full;
};

inline uint32_t ChannelValue(const uint32_t* pixels, uint32_t index, uint32_t shift) {
    return (pixels[index] >> shift) & 0xFF;
}

void EmitLiteral(PacketOutput* output, const uint32_t* pixels, uint32_t first, uint32_t count,
                 uint32_t shift) {
    if (output->room - output->used < count + 1) {
        output->full = 1;
        return;
    }
    uint8_t* at = output->out + output->used;
    *at++ = static_cast<uint8_t>(count - 1);
    for (uint32_t i = 0; i < count; ++i) at[i] = static_cast<uint8_t>(ChannelValue(pixels, first + i, shift));
    output->used += count + 1;
}

void EmitRepeat(PacketOutput* output, uint32_t value, uint32_t count) {
    if (output->room - output->used < 2) {
        output->full = 1;
        return;
    }
    output->out[output->used] = static_cast<uint8_t>(count + RepeatBias);
    output->out[output->used + 1] = static_cast<uint8_t>(value);
    output->used += 2;
}

// One channel. The pending run is always the values [start, start + n) of
// the channel, so it needs no copy: a literal run, or a repeat once three
// equal values meet.
void PackChannel(PacketOutput* output, const uint32_t* pixels, uint32_t count, uint32_t shift) {
    if (count == 0) return;
    uint32_t start = 0;
    uint32_t n = 1;
    int32_t repeat = 0;
    for (uint32_t k = 1; k < count && !output->full; ++k) {
        const uint32_t x = ChannelValue(pixels, k, shift);
        if (n < 3) {
            ++n;
            repeat = n == 3 && x == ChannelValue(pixels, start, shift) &&
                     x == ChannelValue(pixels, start + 1, shift);
        } else if (!repeat) {
            if (n == MaxLiteral) {
                EmitLiteral(output, pixels, start, n, shift);
                start = k;
                n = 1;
            } else if (x == ChannelValue(pixels, k - 1, shift) && x == ChannelValue(pixels, k - 2, shift)) {
                // Three equal values end the literal run and start a repeat.
                EmitLiteral(output, pixels, start, n - 2, shift);
                start = k - 2;
                n = 3;
                repeat = 1;
            } else {
                ++n;
            }
        } else if (n < MaxRepeat && x == ChannelValue(pixels, start, shift)) {
            ++n;
        } else {
            EmitRepeat(output, ChannelValue(pixels, start, shift), n);
            start = k;
            n = 1;
            repeat = 0;
        }
    }
    if (repeat)
        EmitRepeat(output, ChannelValue(pixels, start, shift), n);
    else
        EmitLiteral(output, pixels, start, n, shift);
}

// Unpacks one channel from data[*p] on into `plane`; values no packet
// reaches are 0. 0 once the data have ended on a control byte without its
// value byte: nothing more can be unpacked.
int32_t UnpackChannel(const uint8_t* data, uint32_t length, uint32_t* p, uint8_t* plane, uint32_t count) {
    uint32_t i = 0;
    int32_t more = 1;
    while (more && i < count && *p < length) {
        const uint32_t control = data[*p];
        if (control < FirstRepeatControl) {
            // A literal that runs past the data or the channel is cut
            // there; its other bytes start the next channel.
            ++*p;
            uint32_t take = control + 1;
            if (take > length - *p) take = length - *p;
            if (take > count - i) take = count - i;
            memcpy(plane + i, data + *p, take);
            *p += take;
            i += take;
        } else if (length - *p < 2) {
            // A control byte with no value byte after it ends the data.
            more = 0;
        } else {
            uint32_t run = control - RepeatBias;
            if (run > count - i) run = count - i;
            memset(plane + i, data[*p + 1], run);
            *p += 2;
            i += run;
        }
    }
    memset(plane + i, 0, count - i);
    return more;
}

// Unpacks `channels` channels one after the other into planes[0..].
void UnpackChannels(const uint8_t* data, uint32_t length, uint32_t p, uint32_t channels, uint8_t* planes,
                    uint32_t count) {
    int32_t more = 1;
    for (uint32_t channel = 0; channel < channels; ++channel) {
        uint8_t* plane = planes + channel * count;
        if (more)
            more = UnpackChannel(data, length, &p, plane, count);
        else
            memset(plane, 0, count);
    }
}

}  // namespace

void UnpackIcnsChannels(const uint8_t* data, uint32_t length, uint8_t* planes, uint32_t* pixels,
                        uint32_t count) {
    uint32_t p = 0;
    if (length >= LeadInBytes && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 0)
        p = LeadInBytes;
    UnpackChannels(data, length, p, 3, planes, count);
    const uint8_t* red = planes;
    const uint8_t* green = planes + count;
    const uint8_t* blue = planes + 2 * count;
    for (uint32_t i = 0; i < count; ++i)
        pixels[i] = 0xFF000000u | static_cast<uint32_t>(red[i]) << 16 | static_cast<uint32_t>(green[i]) << 8 | blue[i];
}

int32_t IsIcnsArgbChannels(const uint8_t* data, uint32_t length) {
    return length >= sizeof ArgbMagic && memcmp(data, ArgbMagic, sizeof ArgbMagic) == 0;
}

void UnpackIcnsArgbChannels(const uint8_t* data, uint32_t length, uint8_t* planes, uint32_t* pixels,
                            uint32_t count) {
    UnpackChannels(data, length, sizeof ArgbMagic, 4, planes, count);
    const uint8_t* alpha = planes;
    const uint8_t* red = planes + count;
    const uint8_t* green = planes + 2 * count;
    const uint8_t* blue = planes + 3 * count;
    for (uint32_t i = 0; i < count; ++i)
        pixels[i] = static_cast<uint32_t>(alpha[i]) << 24 | static_cast<uint32_t>(red[i]) << 16 |
                    static_cast<uint32_t>(green[i]) << 8 | blue[i];
}

uint32_t PackedChannelsBound(uint32_t count) {
    // Per channel: count values and one control byte per 128 of them.
    const uint32_t controls = count / MaxLiteral + 1;
    if (count > (UINT32_MAX - LeadInBytes) / 3 - controls) return 0;
    return LeadInBytes + 3 * (count + controls);
}

uint32_t PackIcnsChannels(const uint32_t* pixels, uint32_t count, uint8_t* out, uint32_t room) {
    PacketOutput output{out, room, 0, 0};
    if (count > LeadInAbovePixelBytes / 4) {
        if (room < LeadInBytes) return 0;
        for (uint32_t i = 0; i < LeadInBytes; ++i) out[i] = 0;
        output.used = LeadInBytes;
    }
    for (int32_t shift : ChannelShifts) PackChannel(&output, pixels, count, static_cast<uint32_t>(shift));
    return output.full ? 0 : output.used;
}
