// The picture list of an icon and the record that owns it.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// What one load may still add to its picture list. A picture that does not
// fit is left out and `reached` is set; the reader then decodes nothing more
// and the load goes on with the pictures it has.
struct PictureBudget {
    uint32_t pictures;  // pictures left
    uint32_t bytes;     // pixel and palette bytes left
    int32_t reached;    // a picture was left out, or none is left to take
};

// The budget one load starts with, from LoadIcon's tags.
PictureBudget LoadPictureBudget(const TagItem* tags);

// 1 while another picture may still be decoded; 0 (and `reached` set) once
// the budget holds no picture or no byte. A null budget is never spent.
int32_t PictureBudgetLeft(PictureBudget* budget);

// 1 when `budget` left a picture out or ran out: a reader whose picture
// failed then stops reading pictures and succeeds with those it has.
inline int32_t PictureBudgetReached(const PictureBudget* budget) { return budget && budget->reached; }

// Charges a picture that was worked on but left out (its data could not be
// decoded) with the pixel bytes the work may have cost, or all that is left,
// so that damaged pictures cannot make a load cost more than sound ones.
void ChargeLeftOutPicture(PictureBudget* budget, uint32_t bytes);

// Appends a zero-filled picture to the list held in *head / *tail (both null
// while the list is empty). Depth 1-8 gets one byte per pixel and a 256-entry
// palette, any other depth one 32-bit word per pixel and no palette.
//
// Returns null without touching the list when the sizes are negative or their
// byte count does not fit in 32 bits, when the picture does not fit in
// `budget` (which is then charged nothing and marked reached; null means no
// budget), or when the node cannot be allocated.
// When the node exists but its pixels or palette cannot be allocated, the
// node stays linked (tail not advanced) so the list's owner releases it, and
// the result is null.
IconImage* AllocIconImage(PictureBudget* budget, int32_t width, int32_t height, int32_t depth,
                          int32_t transparentPen, int32_t selected, IconImage** head, IconImage** tail);

// AllocIconImage for a caller that writes every pixel byte itself: the
// pixels are not cleared first (the palette still is).
IconImage* AllocFilledIconImage(PictureBudget* budget, int32_t width, int32_t height, int32_t depth,
                                int32_t transparentPen, int32_t selected, IconImage** head, IconImage** tail);

// What reading one picture came to. A picture whose own data are damaged is
// left out and the reader goes on with the next one; only a failure of
// memory or of the stream ends the load.
enum PictureOutcome : int32_t {
    PictureFailed = 0,
    PictureMade = 1,
    PictureLeftOut = 2,
};

// What a picture AllocIconImage did not make comes to: left out when
// `budget` refused it, else a failure of memory.
inline PictureOutcome PictureNotMade(const PictureBudget* budget) {
    return PictureBudgetReached(budget) ? PictureLeftOut : PictureFailed;
}

// Leaves out what was linked after `mark`, the list's tail before the
// picture was begun (null when the list was empty then): those pictures,
// a node that AllocIconImage linked without its blocks included, are
// unlinked and released, and `mark` is the tail again. Returns
// PictureLeftOut, so that a reader can end a picture with it.
PictureOutcome LeaveOutPictures(IconImage** head, IconImage** tail, IconImage* mark);

// Releases one picture and whatever blocks it has; does not unlink it.
void FreeIconImage(IconImage* image);

// Writes the pixel bytes of a picture of these sizes to *bytes and returns 1,
// or returns 0 when a size is negative or the count does not fit in 32 bits.
int32_t IconImageByteCount(int32_t width, int32_t height, int32_t depth, uint32_t* bytes);

// The pixels of a picture whose pixels exist: its allocation proved that
// width x height fits in 32 bits.
inline uint32_t PixelCount(const IconImage* image) {
    return static_cast<uint32_t>(image->width) * static_cast<uint32_t>(image->height);
}

// The picture's transparent pen, or -1 when it has none. Only 0-255 name a
// pen; any other value means none.
inline int32_t TransparentPenOf(const IconImage* image) {
    return image->transparentPen >= 0 && image->transparentPen <= 255 ? image->transparentPen : -1;
}

// The highest of `count` pens.
uint32_t HighestPen(const uint8_t* pens, uint32_t count);

// The fewest bits, from `depth` up to 8, whose pens reach `highest`.
uint32_t DepthForPen(uint32_t highest, uint32_t depth);
