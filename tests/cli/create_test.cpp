// `pictra create` as a user runs it: the icons it makes open in the peers
// (Pillow for /usr/bin/python3, icotool, icns2png, ImageMagick's identify;
// scripts/setup.sh installs them) with every size asked for; each
// picture is the floating-point reference's resampling of the artwork
// within rounding, and artwork of a size asked for is stored pixel for
// pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "host/images.h"
#include "icon_pictures.h"
#include "loaded_module.h"
#include "resample_reference.h"
#include "tool_runner.h"

namespace {

using namespace pictra::test;

class CreateTest : public ToolRunner<LoadedModuleTest> {
protected:
    std::string art(const std::string& name, const pictra::host::Picture& picture) {
        const auto png = pictra::host::encodePng(picture.pixels.data(), picture.width, picture.height);
        writeFile(path(name), png);
        return path(name);
    }

    // The icon's pictures by width, 32-bit ones first.
    std::vector<Picture> loaded(const std::string& file) {
        const pictra::host::IconPtr icon = loadIcon(file);
        EXPECT_TRUE(icon) << file;
        auto pictures = copies(icon.get());
        std::stable_sort(pictures.begin(), pictures.end(),
                         [](const auto& a, const auto& b) { return std::pair(a.width, -a.depth) < std::pair(b.width, -b.depth); });
        return pictures;
    }

    static std::set<std::string> sizesOf(const std::vector<Picture>& pictures) {
        std::set<std::string> sizes;
        for (const auto& p : pictures) sizes.insert(std::to_string(p.width) + "x" + std::to_string(p.height));
        return sizes;
    }

    // Each 32-bit picture of `pictures` against the reference resampling of
    // `source` to its size, or `source` itself where sizes match.
    static void expectResampled(const std::vector<Picture>& pictures, const pictra::host::Picture& source) {
        for (const auto& p : pictures) {
            if (p.depth != 32) continue;
            const pictra::host::Picture made{uint32_t(p.width), uint32_t(p.height), p.argb};
            if (made.width == source.width) {
                EXPECT_EQ(made.pixels, source.pixels) << p.width;
                continue;
            }
            const auto [alpha, colour] = worstDifference(made, reference(source, made.width, made.height));
            EXPECT_LE(alpha, 1) << p.width;
            EXPECT_LE(colour, 1) << p.width;
        }
    }

    // Every file the command writes into a new folder, decoded, equals the
    // picture of its width in `pictures`; how many there were.
    std::size_t expectExtracted(const std::string& command, const std::string& folder,
                                const std::vector<Picture>& pictures) {
        fs::create_directories(path(folder));
        EXPECT_TRUE(runCommand(command + " >/dev/null 2>&1")) << command;
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(path(folder))) {
            auto picture = pictra::host::decodeImage(readFile(entry.path()));
            EXPECT_TRUE(picture) << entry.path();
            const auto ours = std::find_if(pictures.begin(), pictures.end(),
                                           [&](auto& p) { return picture && uint32_t(p.width) == picture->width; });
            EXPECT_NE(ours, pictures.end()) << entry.path();
            if (picture && ours != pictures.end()) {
                EXPECT_EQ(differingPixels(ours->argb, picture->pixels), 0u) << picture->width;
            }
            ++count;
        }
        return count;
    }
};

std::string pillowSizes(const std::string& file) {
    std::string out;
    runCommand(std::string(kPython) +
                   " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                   "print(sorted(s[0] * s[-1] if len(s) == 3 else s[0] for s in im.info[\"sizes\"]))' " + quoted(file),
               &out);
    return out;
}

TEST_F(CreateTest, WindowsIconHasEverySizeAndThePeersReadIt) {
    const pictra::host::Picture big = artwork(1024, 1024), hand = artwork(16, 16);
    const std::string out = path("logo.ico");
    const Result made = run({"create", out, art("big.png", big), art("hand16.png", hand)});
    ASSERT_EQ(std::pair(made.status, made.err), std::pair(0, std::string()));
    const auto pictures = loaded(out);
    EXPECT_EQ(sizesOf(pictures), (std::set<std::string>{"16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}));
    ASSERT_EQ(pictures.front().width, 16);
    EXPECT_EQ(pictures.front().argb, hand.pixels);  // drawn by hand: taken as it is
    expectResampled({pictures.begin() + 1, pictures.end()}, big);

    EXPECT_EQ(pillowSizes(out), "[16, 24, 32, 48, 64, 128, 256]\n");
    EXPECT_EQ(expectExtracted("icotool -x -o " + quoted(path("ico")) + " " + quoted(out), "ico", pictures), pictures.size());
    std::string identified;
    EXPECT_TRUE(runCommand("identify -format '%wx%h ' " + quoted(out), &identified));
    EXPECT_EQ(identified, "256x256 128x128 64x64 48x48 32x32 24x24 16x16 ");
}

TEST_F(CreateTest, MacIconHasEveryTableSizeAndThePeersReadIt) {
    const pictra::host::Picture big = artwork(1024, 1024);
    const std::string out = path("logo.icns");
    ASSERT_EQ(run({"create", out, art("big.png", big)}).status, 0);
    const auto pictures = loaded(out);
    EXPECT_EQ(sizesOf(pictures), (std::set<std::string>{"16x16", "32x32", "48x48", "64x64", "128x128", "256x256",
                                                         "512x512", "1024x1024"}));
    expectResampled(pictures, big);
    EXPECT_EQ(pillowSizes(out), "[16, 32, 48, 64, 128, 256, 512, 1024]\n");
    // icns2png leaves the 64-pixel PNG element out.
    EXPECT_GE(expectExtracted("cd " + quoted(path("icns")) + " && icns2png -x " + quoted(out), "icns", pictures), 7u);
}

TEST_F(CreateTest, AmigaIconTakesItsAttributesAndSelectedPicture) {
    const pictra::host::Picture big = artwork(300, 200), selected = artwork(30, 20);
    const std::string out = path("tool.info");
    const Result made = run({"create", out, art("big.png", big), "-f", "amigaos40", "--selected", art("sel.png", selected),
                             "--type", "Tool", "--default-tool", "C:Ed", "--tool-type", "DONOTWAIT", "--tool-type",
                             "PRI=1", "--stack", "8000"});
    ASSERT_EQ(made.status, 0) << made.err;
    IconAttributes attributes{};
    const pictra::host::IconPtr icon = loadIcon(out, &attributes);
    ASSERT_TRUE(icon);
    EXPECT_EQ(std::tuple(attributes.type, attributes.stackSize, std::string(attributes.defaultTool)),
              std::tuple(3, 8000, std::string("C:Ed")));
    EXPECT_EQ(toolTypesOf(attributes), (std::vector<std::string>{"DONOTWAIT", "PRI=1"}));
    std::vector<const IconImage*> colour;
    for (const IconImage* image = icon->images; image; image = image->next)
        if (image->depth == 32) colour.push_back(image);
    ASSERT_EQ(colour.size(), 2u);
    EXPECT_EQ(std::pair(colour[0]->width, colour[0]->height), std::pair(256, 171));
    EXPECT_EQ(colour[1]->flags & IconImageSelected, uint32_t(IconImageSelected));
    const auto [alpha, diff] = worstDifference({256, 171, argbOf(*colour[0])}, reference(big, 256, 171));
    EXPECT_LE(alpha + diff, 2);

    // A PNG icon at the art's own size, which is then stored as it is.
    const std::string png = path("icon.png");
    ASSERT_EQ(run({"create", png, path("sel.png"), "-f", "PNG"}).status, 0);
    const auto pictures = loaded(png);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].argb, selected.pixels);
    std::string identified;
    EXPECT_TRUE(runCommand("identify -format '%wx%h' " + quoted(png), &identified));
    EXPECT_EQ(identified, "30x20");
}

TEST_F(CreateTest, SvgArtIsDrawnAtEachSize) {
    writeText(path("art.svg"), "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 10'>"
                               "<rect x='2' y='2' width='6' height='6' fill='#ff8000'/></svg>");
    ASSERT_EQ(run({"create", path("svg.icns"), path("art.svg")}).status, 0);
    const auto pictures = loaded(path("svg.icns"));
    ASSERT_EQ(pictures.size(), 8u);
    for (const auto& p : pictures) {
        // The square's inside is flat orange at every size, its corners clear.
        EXPECT_EQ(p.argb[std::size_t(p.height / 2) * std::size_t(p.width) + std::size_t(p.width / 2)], 0xFFFF8000u) << p.width;
        EXPECT_EQ(p.argb[0] >> 24, 0u) << p.width;
    }
    ASSERT_EQ(run({"create", path("svg.info"), path("art.svg"), "-f", "newicon"}).status, 0);
    const auto amiga = loaded(path("svg.info"));
    ASSERT_FALSE(amiga.empty());
    EXPECT_EQ(amiga.back().width, 10);  // the view box's size
}

TEST_F(CreateTest, RefusalsSayWhy) {
    writeText(path("notes.txt"), "not a picture");
    writeText(path("bad.ico"), std::string("\0\0\1\0\1\0\x10\x10", 8));
    const std::string good = art("good.png", artwork(8, 8));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"create", path("a.ico"), path("missing.png")}, 1, "missing.png: cannot open"},
        {{"create", path("a.ico"), path("notes.txt")}, 1, "not artwork (a PNG file or an SVG document)"},
        {{"create", path("a.info"), good}, 2, "give --format NAME (an Amiga icon"},
        {{"create", path("a.ico"), good, "--sizes", "16,300"}, 2, "WINDOWS holds pictures up to 256 × 256"},
        {{"create", path("a.icns"), good, "--sizes", "20"}, 2, "MACOS holds no 20 × 20 pictures"},
        {{"create", path("a.ico"), good, "--selected", good}, 2, "are for Amiga icons, not WINDOWS"},
        {{"create", path("a.info"), good, "-f", "amigaos", "--type", "shelf"}, 2, "unknown icon type 'shelf'"},
        {{"create", path("a.info"), good, "-f", "png", "--sizes", "16,32"}, 2, "one --sizes value"},
        // A load that fails names the format the file claims to be.
        {{"info", path("bad.ico")}, 1, "bad.ico: a Windows icon the module could not read: damaged or unsupported"},
        {{"convert", good, path("x.icns"), "--fit", "stretch"}, 2, "stretch"},
    };
    for (const Case& c : cases) {
        const Result result = run(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(path("a.ico")));
}

// A plain PNG file shows no Amiga attributes; a PNG icon, with its "icOn"
// chunk, does.
TEST_F(CreateTest, APlainPngIsAPngAndAPngIconHasAttributes) {
    const std::string plain = art("plain.png", artwork(20, 20));
    ASSERT_EQ(run({"create", path("icon.info"), plain, "-f", "png", "--type", "drawer"}).status, 0);
    const std::string out = run({"info", plain, path("icon.info")}).out;
    const std::size_t second = out.find("file: " + path("icon.info"));
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, second).find("type:"), std::string::npos) << out;
    EXPECT_NE(out.find("type: 2 (drawer)", second), std::string::npos) << out;
    EXPECT_NE(out.find("drawerWidth: 400", second), std::string::npos) << out;
}

// --fit chooses, in any case, between scaling and centring a size that
// macOS icons lack.
TEST_F(CreateTest, ConvertFitsASizeMacIconsLackAsAsked) {
    const std::string odd = art("odd.png", artwork(20, 20));
    for (const auto& [fit, line, side] : {std::tuple("scale", "20 × 20 scaled to 16 × 16", 16),
                                          std::tuple("Pad", "20 × 20 centred on 32 × 32", 32)}) {
        const Result result = run({"convert", odd, path("odd.icns"), "--fit", fit});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "pictra: " + odd + ": " + line + " for MACOS\n");
        EXPECT_EQ(loaded(path("odd.icns")).front().width, side);
    }
}

// -o DIR makes one icon per artwork file, named after it; a second artwork
// of the same name is refused rather than overwrite the first one's icon.
TEST_F(CreateTest, BatchFormMakesOneIconPerArtworkFile) {
    const std::string big = art("big.png", artwork(64, 64)), small = art("small.png", artwork(16, 16));
    fs::create_directories(path("other"));
    const std::string twin = art("other/big.png", artwork(8, 8));
    const Result batch = run({"create", "-o", path("out"), big, small, twin, "-f", "macos", "-j", "2"});
    EXPECT_EQ(batch.status, 1);
    EXPECT_NE(batch.err.find("pictra: " + twin + ": its icon would overwrite that of " + big + "\n"), std::string::npos)
        << batch.err;
    EXPECT_NE(batch.err.find("pictra: 2 done, 1 failed, 0 skipped\n"), std::string::npos) << batch.err;
    for (const char* name : {"big.icns", "small.icns"}) EXPECT_EQ(loaded(path(std::string("out/") + name)).size(), 8u) << name;
    EXPECT_EQ(run({"create", "-o", path("out"), big}).status, 2);
}

}  // namespace
