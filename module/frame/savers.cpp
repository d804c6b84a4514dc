// The host learns the savers by calling RegisterIconSaver with 0 and then
// with each identifier it received, while `more` is 1.
#include "frame/formats.h"
#include "pictra/plugin.h"

namespace {

// Index of the saver that follows `formatId`, or -1 to end the walk. The
// first call always answers the first format, even before start-up gave
// identifiers (its identifier is then 0 and no other follows).
int32_t NextSaverIndex(uint32_t formatId) {
    if (formatId == 0) return 0;
    int32_t i = FindFormatIndex(formatId);
    return i < 0 ? -1 : i + 1;
}

}  // namespace

void RegisterIconSaver(SaverQuery* query) {
    int32_t answer = NextSaverIndex(query->formatId);
    // The last format's successor is the table's terminating row, which
    // ends the walk the same way an unknown identifier does.
    if (answer < 0 || answer >= FormatCount) {
        query->more = 0;
        query->formatId = 0;
        query->name = nullptr;
        return;
    }
    query->name = IconFormats[answer].name;
    query->formatId = FormatIds[answer];
    query->more = FormatIds[answer + 1] != 0 ? 1 : 0;
}
