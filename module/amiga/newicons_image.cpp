#include "amiga/newicons_image.h"

#include "amiga/newicons_codec.h"
#include "frame/bytes.h"
#include "frame/sizes.h"
#include "frame/tool_types.h"
#include "model/attributes.h"
#include "model/icon_image.h"

namespace {

constexpr uint8_t HeaderBase = 0x21;
constexpr uint32_t MaxColours = 256;
constexpr uint32_t PaletteValues = MaxColours * 3;
constexpr uint32_t SmallCountLimit = 222;  // larger counts take a high character of 0x22
// One run character stands for up to 47 groups of 7 bits.
constexpr uint32_t MostBitsPerCharacter = 47 * 7;

// Could the block after the header hold `values` values of 8 bits at all,
// even written in the densest form?
bool PaletteCanFit(uint32_t colours, uint32_t charactersLeft) {
    uint32_t bits = 0;
    uint32_t room = 0;
    if (!MultiplySize(colours, 3 * 8, &bits)) return false;
    if (!MultiplySize(charactersLeft, MostBitsPerCharacter, &room)) return true;
    return bits <= room;
}

}  // namespace

int32_t ParseNewIconsHeader(const char* line, uint32_t length, NewIconsHeader* header) {
    if (length < NewIconsHeaderLength) return 0;
    for (uint32_t i = 5; i < NewIconsHeaderLength; ++i)
        if (static_cast<uint8_t>(line[i]) < HeaderBase) return 0;
    auto value = [line](uint32_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(line[i])) - HeaderBase; };
    header->transparent = line[4] == 'B';
    header->width = value(5);
    header->height = value(6);
    header->colours = value(7) * 64 + value(8);
    return header->width != 0 && header->height != 0;
}

uint32_t NewIconsPenBits(uint32_t colours) {
    if (colours > MaxColours) return 9;
    uint32_t bits = 1;
    while ((1u << bits) < colours) ++bits;
    return bits;
}

NewIconsOutcome DecodeNewIconsPicture(PictureBudget* budget, const char* texts, uint32_t length, uint32_t firstLine, uint32_t image,
                                      const IconImage* normal, IconImage** head, IconImage** tail,
                                      IconImage** made) {
    if (firstLine >= length) return NewIconsNotMade;
    const uint32_t lineLength = TextLength(texts + firstLine, length - firstLine);
    NewIconsHeader header{};
    if (!ParseNewIconsHeader(texts + firstLine, lineLength, &header)) return NewIconsNotMade;
    if (normal && (header.width != static_cast<uint32_t>(normal->width) ||
                   header.height != static_cast<uint32_t>(normal->height)))
        return NewIconsNotMade;
    if (!PaletteCanFit(header.colours, length - firstLine - NewIconsHeaderLength)) return NewIconsFailed;

    NewIconsCursor cursor{texts, length, firstLine};
    uint8_t rgb[PaletteValues] = {};
    // Data cut short is no failure: what is missing stays 0.
    DecodeNewIconValues(&cursor, image, 1, 8, header.colours * 3, rgb, PaletteValues);

    const uint32_t bits = NewIconsPenBits(header.colours);
    const int32_t depth = bits > 8 ? 8 : static_cast<int32_t>(bits);
    IconImage* picture = AllocIconImage(budget, static_cast<int32_t>(header.width), static_cast<int32_t>(header.height),
                                        depth, header.transparent ? 0 : -1, image != 0, head, tail);
    if (!picture) return PictureBudgetReached(budget) ? NewIconsNotMade : NewIconsFailed;
    const uint32_t pixels = header.width * header.height;  // both below 256
    DecodeNewIconValues(&cursor, image, 0, bits, pixels, static_cast<uint8_t*>(picture->pixels), pixels);
    const uint32_t colours = header.colours < MaxColours ? header.colours : MaxColours;
    RgbToWords(rgb, colours, picture->palette);
    *made = picture;
    return NewIconsMade;
}

int32_t EncodeNewIconsPicture(const uint8_t* pens, uint32_t width, uint32_t height, const uint32_t* palette,
                              int32_t transparent, uint32_t image, uint8_t* out, uint32_t outLength,
                              uint32_t* used, uint32_t* lines) {
    if (width < 1 || height < 1 || width > NewIconsMaxSide || height > NewIconsMaxSide || image > 1) return 0;
    const uint32_t pixels = width * height;
    const uint32_t colours = HighestPen(pens, pixels) + 1;

    char prefix[NewIconsHeaderLength] = {'I', 'M', static_cast<char>('1' + image), '='};
    prefix[4] = transparent ? 'B' : 'C';
    prefix[5] = static_cast<char>(width + HeaderBase);
    prefix[6] = static_cast<char>(height + HeaderBase);
    prefix[7] = static_cast<char>(colours <= SmallCountLimit ? HeaderBase : HeaderBase + 1);
    prefix[8] = static_cast<char>(colours <= SmallCountLimit ? colours + HeaderBase : colours - 31);

    uint8_t rgb[PaletteValues];
    WordsToRgb(palette, colours, rgb);
    uint32_t written = 0;
    if (!EncodeNewIconValues(rgb, colours * 3, 8, prefix, NewIconsHeaderLength, out, outLength, &written, lines))
        return 0;
    if (!EncodeNewIconValues(pens, pixels, NewIconsPenBits(colours), prefix, NewIconsLinePrefix, out + written, outLength - written,
                             &written, lines))
        return 0;
    *used += written;
    return 1;
}

uint32_t NewIconsPictureBound(uint32_t width, uint32_t height) {
    uint32_t pixels = 0;
    if (!MultiplySize(width, height, &pixels)) return 0;
    const uint32_t palette = NewIconsEncodedBound(PaletteValues, 8);
    const uint32_t pens = NewIconsEncodedBound(pixels, 8);
    if (!palette || !pens || pens > UINT32_MAX - palette) return 0;
    return palette + pens;
}
