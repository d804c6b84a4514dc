// What one load and one save may cost: host settings beside the decode caps
// (images.h), with defaults safe for any input.
//
// A load keeps at most `picturesPerIcon` pictures holding at most
// `pictureBytesPerLoad` bytes of pixels and palettes between them; the module
// leaves out the pictures past that and decodes nothing after the first of
// them. The host hands these to LoadIcon as tags (loadBudgetTags); a caller
// that passes no tags gets the module's defaults, which are the same.
//
// A save's file holds at most `bytesPerSave` bytes: a new-file stream that
// would grow past it takes no more bytes and leaves the file empty, and the
// stream counters say so (overBudgetFiles, and overBudgetFilesOnThisThread
// for the thread that saved), so that the caller reports it rather than a
// disk error. The limit is read when the stream is opened.
#pragma once

#include <array>
#include <cstdint>

#include "pictra/plugin.h"

namespace pictra::host {

struct Budgets {
    uint32_t picturesPerIcon = LoadBudgetPictures;
    uint32_t pictureBytesPerLoad = LoadBudgetPictureBytes;
    uint32_t bytesPerSave = uint32_t{1} << 30;
};

// Safe to read and change while other threads load and save.
Budgets budgets();
void setBudgets(const Budgets& budgets);

// The two LoadIcon tags that carry the load budget.
std::array<TagItem, 2> loadBudgetTags(const Budgets& budgets = pictra::host::budgets());

}  // namespace pictra::host
