// The load budget: a file that names far more pictures than it holds bytes
// loads with the pictures that fit and nothing more, whatever the format;
// the budget's edges; and the tool-type limit.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "amiga/amiga_fixture.h"
#include "host/budgets.h"
#include "icon_pictures.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;

// An icon of `count` directory entries that all point at one 32-bit bitmap
// of side x side.
Bytes icoSharingOneBitmap(uint32_t count, uint32_t side) {
    ByteBuilder out;
    out.le16(0).le16(1).le16(count);
    const uint32_t start = 6 + 16 * count;
    const uint32_t rows = side * side * 4, mask = side * ((side + 31) / 32 * 4);
    for (uint32_t k = 0; k < count; ++k) out.u8(0).u8(0).u8(0).u8(0).le16(1).le16(32).le32(40 + rows + mask).le32(start);
    out.le32(40).le32(side).le32(2 * side).le16(1).le16(32).zeros(24).zeros(rows + mask);
    return out;
}

// A FORM ICON of 256 x 256 holding `count` ARGB chunks of empty zlib
// streams, each a transparent picture.
Bytes formOfEmptyArgb(uint32_t count) {
    const Bytes empty = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    ByteBuilder body;
    body.text("ICON").text("FACE").be32(6).u8(255).u8(255).u8(0).u8(0).be16(47);
    for (uint32_t k = 0; k < count; ++k)
        body.text("ARGB").be32(18).zeros(4).be32(uint32_t(empty.size()) - 1).zeros(2).raw(empty);
    return ByteBuilder().text("FORM").be32(uint32_t(body.size())).raw(body.bytes());
}

// A classic Amiga icon (one 16 x 4 picture of 2 planes) with that FORM after it.
Bytes amigaWithEmptyArgb(uint32_t count) {
    ClassicIcon icon;
    icon.trailing = formOfEmptyArgb(count);
    return icon.bytes();
}

constexpr uint32_t kClassicBytes = 16 * 4 + 1024;  // the classic picture: pens and palette
constexpr uint32_t kArgbBytes = 256 * 256 * 4;

class LoadBudgetTest : public LoadedModuleTest {
protected:
    // The number of pictures `bytes` load with, under the given budget
    // tags (kNoTag: the module's default); -1 when the load fails.
    static constexpr int64_t kNoTag = -1;
    int pictureCount(const Bytes& bytes, int64_t pictures, int64_t pictureBytes = kNoTag) const {
        writeFile(path("in"), bytes);
        std::vector<TagItem> tags;
        if (pictures != kNoTag) tags.push_back({LoadTagMaxPictures, uintptr_t(pictures)});
        if (pictureBytes != kNoTag) tags.push_back({LoadTagMaxPictureBytes, uintptr_t(pictureBytes)});
        tags.push_back({TagEnd, 0});
        host::IconPtr icon(module_->entry().loadIcon(path("in").c_str(), tags.data()),
                           {module_->entry().freeIcon});
        return icon ? int(picturesOf(icon.get()).size()) : -1;
    }
};

TEST_F(LoadBudgetTest, PicturesStopAtTheLimitInEveryFormat) {
    struct Case {
        const char* name;
        Bytes bytes;
        int64_t limit;
        int expected;
    };
    const Case cases[] = {
        {"ico at the limit", icoSharingOneBitmap(5, 4), 5, 5},
        {"ico one past", icoSharingOneBitmap(6, 4), 5, 5},
        {"ico no limit tag", icoSharingOneBitmap(300, 1), kNoTag, LoadBudgetPictures},
        // The classic picture comes first and counts.
        {"form at the limit", amigaWithEmptyArgb(4), 5, 5},
        {"form one past", amigaWithEmptyArgb(5), 5, 5},
        {"form no limit tag", amigaWithEmptyArgb(300), kNoTag, LoadBudgetPictures},
    };
    for (const Case& c : cases) EXPECT_EQ(pictureCount(c.bytes, c.limit), c.expected) << c.name;
}

TEST_F(LoadBudgetTest, PictureBytesStopAtTheLimit) {
    const uint32_t bitmap = 8 * 8 * 4;
    struct Case {
        const char* name;
        Bytes bytes;
        uint32_t budget;
        int expected;
    };
    const Case cases[] = {
        {"ico at the limit", icoSharingOneBitmap(10, 8), 3 * bitmap, 3},
        {"ico one byte short", icoSharingOneBitmap(10, 8), 3 * bitmap - 1, 2},
        // An icon left with no picture does not load.
        {"ico first picture too large", icoSharingOneBitmap(10, 8), bitmap - 1, -1},
        {"form at the limit", amigaWithEmptyArgb(10), kClassicBytes + 2 * kArgbBytes, 3},
        {"form one byte short", amigaWithEmptyArgb(10), kClassicBytes + 2 * kArgbBytes - 1, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(pictureCount(c.bytes, kNoTag, c.budget), c.expected) << c.name;
}

// Past the limit, texts are left out; the icon and its pictures load, and
// the file's parts after the tool types are still read.
TEST_F(LoadBudgetTest, ToolTypesStopAtTheSharedLimit) {
    ClassicIcon icon;
    icon.toolTypes = std::vector<std::string>(ToolTypeListMaxItems + 3, "A=1");
    (*icon.toolTypes)[ToolTypeListMaxItems - 1] = "LAST=kept";
    (*icon.toolTypes)[ToolTypeListMaxItems] = "FIRST=left out";
    const uint32_t formArgb = 2;
    icon.trailing = formOfEmptyArgb(formArgb);
    writeFile(path("in.info"), icon.bytes());
    IconAttributes attributes{};
    host::IconPtr loaded = loadIcon(path("in.info"), &attributes);
    ASSERT_TRUE(loaded);
    const std::vector<std::string> texts = toolTypesOf(attributes);
    ASSERT_EQ(texts.size(), std::size_t(ToolTypeListMaxItems));
    EXPECT_EQ(texts.back(), "LAST=kept");
    EXPECT_EQ(picturesOf(loaded.get()).size(), 1 + formArgb);
}

// What the child of costOfLoading() reports: the pictures loaded and the
// processor time taken.
struct LoadCost {
    int pictures = -2;  // -1: the load failed; -2: the child died
    double seconds = 0;
};

// Loads `file` in a child process whose address space may grow by at most
// `extraBytes` over what it holds at the start and whose processor time is
// capped, so that a load without a budget fails the test instead of taking
// the machine. The child keeps one malloc arena: a decoder's threads would
// each reserve an arena of address space they never use.
LoadCost costOfLoading(const pictra::host::EntryPoints& entry, const std::string& file, std::size_t extraBytes,
                       rlim_t cpuSeconds) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::size_t heldPages = 0;
        if (FILE* status = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(status, "%zu", &heldPages) != 1) heldPages = 0;
            std::fclose(status);
        }
        const rlimit memory{heldPages * std::size_t(::sysconf(_SC_PAGESIZE)) + extraBytes, RLIM_INFINITY};
        const rlimit cpu{cpuSeconds, RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &memory);
        ::setrlimit(RLIMIT_CPU, &cpu);
#ifdef M_ARENA_MAX
        mallopt(M_ARENA_MAX, 1);
#endif
        IconRecord* icon = entry.loadIcon(file.c_str(), nullptr);
        int count = -1;
        if (icon) {
            count = int(picturesOf(icon).size());
            entry.freeIcon(icon);
        }
        if (::write(pipeEnds[1], &count, sizeof count) != sizeof count) ::_exit(2);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    LoadCost cost;
    int count = 0;
    if (::read(pipeEnds[0], &count, sizeof count) == sizeof count) cost.pictures = count;
    ::close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) cost.pictures = -2;
    cost.seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return cost;
}

// The files of bench/hostile_icons.py, each tiny but naming gigabytes of
// pictures: every one loads with the pictures its budget admits within
// 512 MiB more address space and well within 5 s of processor time.
TEST_F(LoadBudgetTest, HostileFilesLoadWithinTheBudget) {
#if defined(PICTRA_TEST_EMULATED)
    GTEST_SKIP() << "under an emulator, address space and processor time are the emulator's";
#elif defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
#endif
    if (!havePython("PIL")) GTEST_SKIP() << "needs Pillow for /usr/bin/python3";
    const std::string folder = path("hostile");
    ASSERT_TRUE(runCommand(std::string(kPython) + " " + quoted(PICTRA_TEST_EXAMPLES "/../bench/hostile_icons.py") +
                           " " + quoted(folder) + " >/dev/null"));
    // Two pictures of 4096 x 4096 fill the default 128 MiB; the small ones
    // stop at 256 pictures, the classic picture of an Amiga icon included.
    const std::map<std::string, int> expected = {
        {"ico-16-entries-one-png.ico", 2},      {"ico-100-entries-one-png.ico", 2},
        {"ico-65535-entries-one-bitmap.ico", 256}, {"icns-11-jpeg2000.icns", 2},
        {"form-4000-argb.info", 256},           {"form-50000-imag.info", 256},
        {"ico-32767-24bit-sizes.ico", 256},
    };
    for (const auto& [name, pictures] : expected) {
        const LoadCost cost = costOfLoading(module_->entry(), folder + "/" + name, std::size_t{512} << 20, 20);
        EXPECT_EQ(cost.pictures, pictures) << name;
        EXPECT_LT(cost.seconds, 5.0) << name;
    }
}

}  // namespace
