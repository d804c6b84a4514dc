// File streams, memory names and memory outputs through the Stream table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/budgets.h"
#include "host/memory.h"
#include "host/stream_internal.h"
#include "host/streams.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::Bytes;

const StreamTable& streams() { return *test::services().stream; }

using StreamTest = test::LeakCheckedTest;

// Traced as the full-disk sweep traces a save, which must not change a byte.
TEST_F(StreamTest, NewFileSupportsPatchingAndSeekingPastTheEnd) {
    test::writeFile(path("patch"), Bytes(50, 0xEE));  // truncated by the open
    traceFileWrites();
    StreamHandle s = streams().OpenStream(path("patch").c_str(), StreamModeNewFile);
    ASSERT_NE(s, nullptr);
    const uint8_t head[] = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
    EXPECT_EQ(streams().WriteStream(s, head, 8), 8);
    streams().WriteStreamByte(s, 0x1234);  // only the low 8 bits
    EXPECT_EQ(streams().SeekStream(s, 4, SeekFromStart), 9);
    for (int byte : {0, 0, 0, 1}) streams().WriteStreamByte(s, byte);
    EXPECT_EQ(streams().SeekStream(s, 2, SeekFromEnd), 8);
    streams().WriteStreamByte(s, 0xAB);  // the gap reads back as zeros
    // Writing nothing far past the end changes nothing.
    EXPECT_EQ(streams().SeekStream(s, 100000000, SeekFromStart), 12);
    EXPECT_EQ(streams().WriteStream(s, head, 0), 0);
    EXPECT_EQ(streams().SeekStream(s, 0, SeekFromStart), 100000000);
    EXPECT_EQ(streams().ReadStreamByte(s), 'F');
    streams().CloseStream(s);
    EXPECT_EQ(test::readFile(path("patch")), (Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 1, 0x34, 0, 0, 0xAB}));
    // Where each write ended; writing nothing is no write.
    EXPECT_EQ(tracedFileWrites(), (std::vector<std::size_t>{8, 9, 5, 6, 7, 8, 12}));
    EXPECT_TRUE(tracedFileWrites().empty());
}

// Nothing the module writes is checked, so the host counts what was lost:
// a write to a read stream and a file that cannot be stored. (The full disk
// at a given byte is the damage sweep's.)
TEST_F(StreamTest, LostWritesAreCounted) {
    test::writeFile(path("read"), {1});
    resetStreamCounters();
    for (const std::string& name : {path("read"), std::string("/dev/full")}) {
        StreamHandle s = streams().OpenStream(name.c_str(), name == "/dev/full" ? StreamModeNewFile : StreamModeRead);
        ASSERT_NE(s, nullptr);
        streams().WriteStreamByte(s, 1);
        streams().CloseStream(s);
    }
    EXPECT_EQ(streamCounters().failedWrites, 2u);
    EXPECT_EQ(test::readFile(path("read")), Bytes{1});
}

// A file may grow to the save budget and not a byte past it, by block or by
// byte; one that would is left empty and counted, patching included. Each
// file is saved on a thread of its own: a refusal counts on that thread and
// in the total, never on another thread (workers save side by side).
TEST_F(StreamTest, NewFilesStopAtTheSaveBudget) {
    const Budgets saved = budgets();
    Budgets small = saved;
    small.bytesPerSave = 8;
    setBudgets(small);
    const uint8_t bytes[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Case {
        const char* name;
        uint32_t blockBytes, byteWrites;
        Bytes file;
        std::size_t overBudget;
    };
    const Case cases[] = {
        {"block at the budget", 8, 0, Bytes(bytes, bytes + 8), 0},
        {"block one past", 9, 0, {}, 1},
        {"bytes at the budget", 6, 2, {1, 2, 3, 4, 5, 6, 0, 0}, 0},
        {"bytes one past", 6, 3, {}, 1},
    };
    const std::size_t here = overBudgetFilesOnThisThread();
    for (const Case& c : cases) {
        resetStreamCounters();
        std::size_t onSaver = 0;
        std::thread([&] {
            StreamHandle s = streams().OpenStream(path("out").c_str(), StreamModeNewFile);
            ASSERT_NE(s, nullptr);
            streams().WriteStream(s, bytes, int32_t(c.blockBytes));
            for (uint32_t k = 0; k < c.byteWrites; ++k) streams().WriteStreamByte(s, 0);
            // Patching the start afterwards neither revives nor grows the file.
            streams().SeekStream(s, 0, SeekFromStart);
            streams().WriteStreamByte(s, 1);
            streams().CloseStream(s);
            onSaver = overBudgetFilesOnThisThread();
        }).join();
        EXPECT_EQ(test::readFile(path("out")), c.file) << c.name;
        EXPECT_EQ(onSaver, c.overBudget) << c.name;
        EXPECT_EQ(streamCounters().overBudgetFiles, c.overBudget) << c.name;
        EXPECT_EQ(streamCounters().failedWrites != 0, c.overBudget != 0) << c.name;
    }
    EXPECT_EQ(overBudgetFilesOnThisThread(), here);
    setBudgets(saved);
}

MemoryBlockDesc describe(const void* data, int64_t size, const char* extension) {
    MemoryBlockDesc desc{};
    desc.data = data;
    desc.extension = extension;
    desc.sizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(size) >> 32);
    desc.sizeLow = static_cast<uint32_t>(static_cast<uint64_t>(size));
    return desc;
}

TEST_F(StreamTest, MemoryNamesRefuseNegativeAbsurdAndUnnamedBlocks) {
    const uint8_t data[4] = {};
    const MemoryBlockDesc refused[] = {describe(data, -1, "png"), describe(data, int64_t{1} << 40, "png"),
                                       describe(nullptr, 4, "bin")};
    for (const MemoryBlockDesc& desc : refused) {
        char name[MemoryNameLength] = "junk";
        EXPECT_EQ(streams().NameMemoryBlock(name, MemoryNameLength, &desc, 0), 0);
        EXPECT_STREQ(name, "");
    }
    char name[MemoryNameLength];
    const MemoryBlockDesc fine = describe(data, 4, "png");
    EXPECT_EQ(streams().NameMemoryBlock(name, 4, &fine, 0), 0);  // no room for the name
    EXPECT_EQ(streams().NameMemoryBlock(name, MemoryNameLength, nullptr, 0), 0);
}

TEST_F(StreamTest, LiveMemoryNamesAreBoundedInBytesAsWellAsInNumber) {
    const Bytes block(std::size_t{50} << 20, 7);
    const MemoryBlockDesc desc = describe(block.data(), int64_t(block.size()), "bin");
    char names[3][MemoryNameLength];
    for (auto& name : names) ASSERT_EQ(streams().NameMemoryBlock(name, MemoryNameLength, &desc, 0), 1);
    // The third block did not fit beside the first two: the oldest went.
    Bytes taken;
    EXPECT_FALSE(takeNamedBlock(names[0], taken));
    EXPECT_TRUE(takeNamedBlock(names[1], taken));
    EXPECT_EQ(taken.size(), block.size());
    EXPECT_TRUE(takeNamedBlock(names[2], taken));
}

TEST_F(StreamTest, MemoryOutputCollectsWritesWithoutTaggedMemory) {
    char name[MemoryNameLength];
    char other[MemoryNameLength];
    StreamHandle output = streams().OpenMemoryOutput(name, MemoryNameLength, 0);
    StreamHandle second = streams().OpenMemoryOutput(other, MemoryNameLength, 0);
    ASSERT_NE(output, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_GT(std::strlen(name), 0u);
    EXPECT_STRNE(name, other);
    const uint8_t bytes[] = {1, 2, 3, 4};
    EXPECT_EQ(streams().WriteStream(output, bytes, 4), 4);
    EXPECT_EQ(streams().SeekStream(output, 1, SeekFromStart), 4);
    streams().WriteStreamByte(output, 9);
    uint32_t size = 0;
    const auto* held = static_cast<const uint8_t*>(streams().MemoryOutputBytes(output, &size, 0));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(Bytes(held, held + size), (Bytes{1, 9, 3, 4}));
    EXPECT_EQ(liveBlockCount(), 0u);
    EXPECT_EQ(streamCounters().liveStreams, 2u);
    streams().CloseMemoryOutput(output);
    streams().CloseStream(second);  // the ordinary close releases an output too
}

}  // namespace
}  // namespace pictra::host
