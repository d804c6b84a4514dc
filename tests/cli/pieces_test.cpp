// The tool's pieces that do not need the module: picture expansion, output
// names, saver choice, header recognition and safe saving.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "errors.h"
#include "extract.h"
#include "formats.h"
#include "icon_file.h"
#include "safe_save.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace pictra::cli {
namespace {

// True colour is kept as it is: tool_test's extract.
TEST(Expand, PalettePensBecomeOpaqueExceptTheTransparentOne) {
    std::array<uint8_t, 6> pixels{0, 1, 2, 3, 1, 255};
    std::array<uint32_t, 256> palette{};
    palette[0] = 0x112233;
    palette[1] = 0xFF0000;
    palette[2] = 0xAB00FF00;  // stray high byte must not leak into alpha
    palette[3] = 0x000000;
    palette[255] = 0x0000FF;
    IconImage image{nullptr, pixels.data(), 3, 2, 0, palette.data(), 1, 8, 0};
    std::string error;
    const auto rgba = expandPicture(image, error);
    ASSERT_TRUE(rgba) << error;
    EXPECT_EQ(*rgba, (std::vector<uint32_t>{0xFF112233, 0x00FF0000, 0xFF00FF00, 0xFF000000,
                                            0x00FF0000, 0xFF0000FF}));

    image.transparentPen = -1;
    EXPECT_EQ(expandPicture(image, error).value_or(std::vector<uint32_t>{}).at(1), 0xFFFF0000u);
}

TEST(Expand, RefusesPicturesThatDescribeNoValidPixels) {
    std::array<uint32_t, 4> pixels{};
    std::array<uint32_t, 256> palette{};
    const IconImage good{nullptr, pixels.data(), 2, 2, 0, palette.data(), -1, 4, 0};
    std::vector<IconImage> bad(6, good);
    bad[0].width = 0;
    bad[1].height = -3;
    bad[2].depth = 0;
    bad[3].depth = 33;
    bad[4].palette = nullptr;
    bad[5].pixels = nullptr;
    std::string error;
    EXPECT_TRUE(expandPicture(good, error));
    for (const IconImage& image : bad) {
        error.clear();
        EXPECT_FALSE(expandPicture(image, error));
        EXPECT_FALSE(error.empty());
    }
    IconImage huge = good;
    huge.width = huge.height = 0x7FFFFFFF;  // product overflows 32 bits
    EXPECT_FALSE(expandPicture(huge, error));
}

TEST(Names, PictureStemAndSaverFromOptionElseFromExtension) {
    EXPECT_EQ(pictureFileName("icons/Disk.info", 0), "Disk-0.png");
    EXPECT_EQ(pictureFileName("a.b.icns", 12), "a.b-12.png");
    EXPECT_EQ(pictureFileName("/x/noext", 3), "noext-3.png");
    EXPECT_EQ(saverNameFor("", "out/x.ico"), "WINDOWS");
    EXPECT_EQ(saverNameFor("", "X.ICNS"), "MACOS");
    EXPECT_EQ(saverNameFor("", "x.info"), "");
    EXPECT_EQ(saverNameFor("", "ico"), "");
    EXPECT_EQ(saverNameFor("newicon", "x.ico"), "newicon");

    const std::vector<host::Saver> savers{{"AMIGAOS", 1}, {"AMIGAOS35", 3}, {"MACOS", 7}};
    ASSERT_NE(findSaver(savers, "amigaos35"), nullptr);
    EXPECT_EQ(findSaver(savers, "amigaos35")->formatId, 3u);
    EXPECT_EQ(findSaver(savers, "AmigaOS")->formatId, 1u);
    EXPECT_EQ(findSaver(savers, "AMIGA"), nullptr);
    EXPECT_EQ(findSaver(savers, ""), nullptr);
}

// Formats are named as the savers name them. Refused headers and their
// rendering are tool_test's.
TEST(Header, FormatsNeedAllFourBytes) {
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(iconFormat(Bytes{'i', 'c', 'n', 's', 0}), "MACOS");
    EXPECT_EQ(iconFormat(Bytes{0x89, 'P', 'N', 'G'}), "PNG");
    EXPECT_EQ(iconFormat(Bytes{0xE3, 0x10, 0x00, 0x01}), "AMIGAOS");
    EXPECT_EQ(iconFormat(Bytes{0x00, 0x00, 0x01, 0x00}), "WINDOWS");
    EXPECT_FALSE(iconFormat(Bytes{0xE3, 0x10, 0x00}));
}

// A save that fails leaves the target and no temporary: tool_test's convert
// failures.
using SafeSave = pictra::test::ScratchTest;
using pictra::test::readText;

TEST_F(SafeSave, ReplacesTheTargetKeepingItsPermissions) {
    const fs::path target = folder_ / "out.png";
    std::ofstream(target) << "old";
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    writeFileSafely(target.string(), std::array<uint8_t, 3>{'n', 'e', 'w'});
    EXPECT_EQ(readText(target), "new");
    EXPECT_EQ(listing().size(), 1u);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(SafeSave, FailuresNameTheTarget) {
    const std::string missing = (folder_ / "no" / "out.ico").string();
    try {
        PendingFile pending(missing);
        FAIL() << "a temporary in a missing folder";
    } catch (const FileError& error) {
        EXPECT_EQ(error.file(), missing);
    }
    // A folder in the way of the target: the rename fails and nothing is left.
    const fs::path blocked = folder_ / "blocked";
    fs::create_directories(blocked / "inside");
    EXPECT_THROW(writeFileSafely(blocked.string(), std::array<uint8_t, 1>{1}), FileError);
    EXPECT_TRUE(fs::is_directory(blocked / "inside"));
    EXPECT_EQ(listing().size(), 1u);
}

}  // namespace
}  // namespace pictra::cli
