// File streams, memory names and memory outputs through the Stream table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/memory.h"
#include "host/stream_internal.h"
#include "host/streams.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::Bytes;

const StreamTable& streams() { return *test::services().stream; }

using StreamTest = test::LeakCheckedTest;

TEST_F(StreamTest, SeekReturnsThePositionBeforeTheMove) {
    test::writeFile(path("seek"), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    StreamHandle s = streams().OpenStream(path("seek").c_str(), StreamModeRead);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(streams().SeekStream(s, 4, SeekFromStart), 0);
    EXPECT_EQ(streams().SeekStream(s, 0, SeekFromCurrent), 4);  // a tell moves nothing
    EXPECT_EQ(streams().ReadStreamByte(s), 4);
    EXPECT_EQ(streams().SeekStream(s, -2, SeekFromEnd), 5);
    EXPECT_EQ(streams().ReadStreamByte(s), 8);
    EXPECT_EQ(streams().SeekStream(s, -3, SeekFromCurrent), 9);
    EXPECT_EQ(streams().ReadStreamByte(s), 6);
    // A seek before the start fails and leaves the position alone.
    EXPECT_EQ(streams().SeekStream(s, -100, SeekFromCurrent), -1);
    EXPECT_EQ(streams().SeekStream(s, -1, SeekFromStart), -1);
    EXPECT_EQ(streams().SeekStream(s, 0, SeekFromCurrent), 7);
    streams().CloseStream(s);
}

TEST_F(StreamTest, ReadsStopAtTheEndWithMinusOneAndShortCounts) {
    test::writeFile(path("end"), {0xFF, 0x00, 0x80});
    StreamHandle s = streams().OpenStream(path("end").c_str(), StreamModeRead);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(streams().ReadStreamByte(s), 0xFF);  // bytes are unsigned
    EXPECT_EQ(streams().StreamAtEnd(s), 0);
    uint8_t buffer[8] = {};
    EXPECT_EQ(streams().ReadStream(s, buffer, 8), 2);
    EXPECT_EQ(buffer[1], 0x80);
    EXPECT_NE(streams().StreamAtEnd(s), 0);
    EXPECT_EQ(streams().ReadStreamByte(s), -1);
    EXPECT_EQ(streams().ReadStreamByte(s), -1);
    EXPECT_EQ(streams().ReadStream(s, buffer, 8), 0);
    // Seeking past the end is allowed; reading there gives nothing.
    EXPECT_EQ(streams().SeekStream(s, 10, SeekFromEnd), 3);
    EXPECT_EQ(streams().ReadStreamByte(s), -1);
    // A read stream refuses writes.
    EXPECT_EQ(streams().WriteStream(s, buffer, 1), -1);
    streams().CloseStream(s);
    EXPECT_EQ(test::readFile(path("end")), (Bytes{0xFF, 0x00, 0x80}));
}

TEST_F(StreamTest, NewFileSupportsPatchingAndSeekingPastTheEnd) {
    test::writeFile(path("patch"), Bytes(50, 0xEE));  // truncated by the open
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
}

// Nothing the module writes is checked, so the host keeps count of what
// was lost: a write to a read stream, a file that cannot be stored, and on a
// full disk every write that crosses the limit (bytes up to it are kept and
// patches below it still land).
TEST_F(StreamTest, ManyAppendedBytesArriveInOrderAndLostWritesAreCounted) {
    StreamHandle s = streams().OpenStream(path("long").c_str(), StreamModeNewFile);
    ASSERT_NE(s, nullptr);
    Bytes expected;
    for (int i = 0; i < 5000; ++i) {  // grows the stream many times
        streams().WriteStreamByte(s, i * 7);
        expected.push_back(static_cast<uint8_t>(i * 7));
    }
    streams().CloseStream(s);
    EXPECT_EQ(test::readFile(path("long")), expected);

    resetStreamCounters();
    for (const std::string& name : {path("long"), std::string("/dev/full")}) {
        s = streams().OpenStream(name.c_str(), name == "/dev/full" ? StreamModeNewFile : StreamModeRead);
        ASSERT_NE(s, nullptr);
        streams().WriteStreamByte(s, 1);
        streams().CloseStream(s);
    }
    EXPECT_EQ(streamCounters().failedWrites, 2u);

    limitFileWrites(5);
    s = streams().OpenStream(path("full").c_str(), StreamModeNewFile);
    ASSERT_NE(s, nullptr);
    const uint8_t block[] = {1, 2, 3, 4};
    EXPECT_EQ(streams().WriteStream(s, block, 4), 4);
    EXPECT_EQ(streams().WriteStream(s, block, 4), -1);  // one byte fits
    streams().WriteStreamByte(s, 9);
    streams().SeekStream(s, 0, SeekFromStart);
    streams().WriteStreamByte(s, 7);
    streams().CloseStream(s);
    clearFileWriteLimit();
    EXPECT_EQ(test::readFile(path("full")), (Bytes{7, 2, 3, 4, 1}));
    EXPECT_EQ(streamCounters().failedWrites, 4u);
}

TEST_F(StreamTest, OpensAreCountedAndTheTaggedParameterRecorded) {
    test::writeFile(path("count"), {1});
    EXPECT_EQ(streams().OpenStream(path("missing").c_str(), StreamModeRead), nullptr);
    EXPECT_EQ(streams().OpenStream(path("count").c_str(), 7), nullptr);
    StreamHandle plain = streams().OpenStream(path("count").c_str(), StreamModeRead);
    const TagItem tags[] = {{99, 5}, {OpenTagParameter, 0xC0FFEE}, {TagEnd, 0}};
    StreamHandle tagged = streams().OpenStreamTagged(path("count").c_str(), StreamModeRead, tags);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(tagged, nullptr);
    EXPECT_EQ(streams().ReadStreamByte(tagged), 1);
    const StreamCounters counters = streamCounters();
    EXPECT_EQ(counters.plainOpens, 1u);
    EXPECT_EQ(counters.taggedOpens, 1u);
    EXPECT_EQ(counters.lastOpenParameter, 0xC0FFEEu);
    EXPECT_EQ(counters.liveStreams, 2u);
    streams().CloseStream(plain);
    streams().CloseStream(tagged);
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

    uint32_t size = 99;
    EXPECT_NE(streams().MemoryOutputBytes(output, &size, 0), nullptr);
    EXPECT_EQ(size, 0u);
    const uint8_t bytes[] = {1, 2, 3, 4};
    EXPECT_EQ(streams().WriteStream(output, bytes, 4), 4);
    EXPECT_EQ(streams().SeekStream(output, 1, SeekFromStart), 4);
    streams().WriteStreamByte(output, 9);
    const auto* held = static_cast<const uint8_t*>(streams().MemoryOutputBytes(output, &size, 0));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(Bytes(held, held + size), (Bytes{1, 9, 3, 4}));
    EXPECT_EQ(liveBlockCount(), 0u);
    EXPECT_EQ(streamCounters().liveStreams, 2u);
    streams().CloseMemoryOutput(output);
    streams().CloseStream(second);  // the ordinary close releases an output too
    // No stream is not a memory output.
    EXPECT_EQ(streams().MemoryOutputBytes(nullptr, &size, 0), nullptr);
    EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace pictra::host
