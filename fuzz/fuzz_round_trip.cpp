// Fuzz target: any bytes loaded as an icon; what loads is saved in every
// format the module offers (compressed when the input's length is odd) and
// each file saved is loaded back. A save may refuse, but a file it reports
// as saved must load again, every picture in it must have the size of a
// picture the writer was given and a depth a record can hold, the caller's
// pictures must come out of the writer as they went in, and nothing may be
// left behind.
// fuzz-corpus: .
#include <set>
#include <utility>

#include "fuzz/module_harness.h"

using namespace pictra::fuzz;
using namespace pictra;

namespace {

uint64_t fingerprint(const IconImage* images) {
    test::Fingerprint print;
    print.addImages(images);
    return print.value();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const host::EntryPoints& entry = harness().entry();
    const std::string input = harness().file("input");
    writeInput(input, data, size);
    {
        IconAttributes attributes;
        host::IconPtr icon = loadAndTouch(input, attributes);
        if (!icon) return 0;
        IconImage* images = entry.getIconImages(icon.get());
        std::set<std::pair<int32_t, int32_t>> sizes;
        for (const IconImage* image = images; image; image = image->next)
            sizes.emplace(image->width, image->height);
        const uint64_t before = fingerprint(images);
        for (const host::Saver& saver : harness().savers()) {
            const std::string output = harness().file("saved");
            const TagItem tags[] = {{SaveTagFormat, saver.formatId},
                                    {SaveTagCompress, size % 2},
                                    {SaveTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                                    {TagEnd, 0}};
            const int32_t saved = entry.saveIcon(output.c_str(), images, tags);
            if (fingerprint(images) != before) fail(saver.name + " changed the pictures it saved");
            if (!saved) continue;
            IconAttributes again;
            host::IconPtr reloaded = loadAndTouch(output, again);
            if (!reloaded) fail(saver.name + " saved a file that does not load");
            for (const IconImage* image = entry.getIconImages(reloaded.get()); image;
                 image = image->next)
                if (!sizes.count({image->width, image->height}))
                    fail(saver.name + " saved a " + std::to_string(image->width) + "x" +
                         std::to_string(image->height) + " picture it was not given");
        }
    }
    expectNothingLeft();
    return 0;
}
