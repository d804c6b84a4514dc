// NewIcons pictures: the header of a picture's first line, and whole
// pictures between tool-type lines and IconImages.
//
// The first line of picture n (0 normal, 1 selected) begins "IM1=" or "IM2="
// and five header characters: 'B' when pen 0 is transparent (anything else,
// a writer uses 'C': none), width + 0x21, height + 0x21, and the colour count
// in two characters, (first - 0x21) * 64 + (second - 0x21). The palette
// follows as 8-bit red, green, blue values; the pens start on the next line.
#pragma once

#include <cstdint>

#include "model/icon_image.h"
#include "pictra/plugin.h"

struct NewIconsHeader {
    int32_t transparent;  // pen 0 is transparent
    uint32_t width;
    uint32_t height;
    uint32_t colours;
};

// The characters a header takes, "IMn=" included.
inline constexpr uint32_t NewIconsHeaderLength = 9;
// The largest width and height a header can carry on writing.
inline constexpr uint32_t NewIconsMaxSide = 93;

// Reads the header of the first line `line` (`length` characters). 0 when the
// line is shorter than a header, a header character lies below 0x21 (its
// value would be negative) or the width or height is 0.
int32_t ParseNewIconsHeader(const char* line, uint32_t length, NewIconsHeader* header);

// Bits per pen for a colour count: the fewest with 2^bits >= colours, at
// least 1; 9 above 256 colours.
uint32_t NewIconsPenBits(uint32_t colours);

enum NewIconsOutcome : int32_t {
    NewIconsFailed = 0,   // memory ran out, or the header asks for more data than the block can hold
    NewIconsMade = 1,
    NewIconsNotMade = 2,  // malformed header, a selected picture of another size, or no room in the budget
};

// Decodes the picture whose first line starts at offset `firstLine` of the
// tool-type block `texts` (`length` bytes) and appends it to the list
// *head / *tail; `normal` is the normal picture when this is the selected one
// (`image` 1), which must have the same size. Data cut short leaves zeros.
// The picture is charged to `budget` (AllocIconImage).
NewIconsOutcome DecodeNewIconsPicture(PictureBudget* budget, const char* texts, uint32_t length, uint32_t firstLine, uint32_t image,
                                      const IconImage* normal, IconImage** head, IconImage** tail,
                                      IconImage** made);

// Writes the lines of picture `image` (0 or 1) of width x height pens with
// `palette` in file form to `out`, adding the bytes to *used and the lines to
// *lines. Its colour count is the highest pen used + 1; `transparent` writes
// pen 0 as transparent. 0 when `out` is too small or a size is out of range.
int32_t EncodeNewIconsPicture(const uint8_t* pens, uint32_t width, uint32_t height, const uint32_t* palette,
                              int32_t transparent, uint32_t image, uint8_t* out, uint32_t outLength,
                              uint32_t* used, uint32_t* lines);

// Bytes that are always enough for EncodeNewIconsPicture of that size.
uint32_t NewIconsPictureBound(uint32_t width, uint32_t height);
