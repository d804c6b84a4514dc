// Every host-service wrapper of the module against tables whose every used
// slot records its own name and arguments: a wrapper that calls the wrong
// slot, drops an argument or passes the wrong constant is caught here.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fake_formats.h"
#include "frame/host.h"

namespace {

using Words = std::vector<uintptr_t>;

struct Call {
    std::string slot;
    Words arguments;
} recorded;

template <typename T>
uintptr_t word(T value) {
    if constexpr (std::is_pointer_v<T>) return reinterpret_cast<uintptr_t>(value);
    else return static_cast<uintptr_t>(value);
}

// What every recording slot hands back, so results are seen to pass through.
constexpr uintptr_t kResult = 0x5A17;

template <std::size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }
};
template <typename F, Name S>
struct Recorder;
template <typename R, typename... A, Name S>
struct Recorder<R (*)(A...), S> {
    static R call(A... arguments) {
        recorded = {S.text, {word(arguments)...}};
        if constexpr (std::is_pointer_v<R>) return reinterpret_cast<R>(kResult);
        else if constexpr (!std::is_void_v<R>) return static_cast<R>(kResult);
    }
};
#define RECORD(table, slot) table.slot = Recorder<decltype(table.slot), #slot>::call

class HostWrapperTest : public pictra::test::ModuleUnitTest {
protected:
    void SetUp() override {
        ModuleUnitTest::SetUp();
        // Every slot of the contract's list records; a wrapper that calls
        // any other calls a null slot and crashes the test.
#define RECORD_SLOT(table, services, slot, index) RECORD(services##_, slot);
        PICTRA_USED_SLOTS(RECORD_SLOT)
#undef RECORD_SLOT
        real_ = Host;
        services_ = {};
        services_.hostVersion = 9;
        services_.system = &system_;
        services_.stream = &stream_;
        services_.image = &image_;
        services_.compression = &compression_;
        services_.checksum = &checksum_;
        Host = &services_;
    }
    void TearDown() override {
        Host = real_;
        ModuleUnitTest::TearDown();
    }

    SystemTable system_{};
    StreamTable stream_{};
    ImageTable image_{};
    CompressionTable compression_{};
    ChecksumTable checksum_{};
    HostServices services_{};
    HostServices* real_ = nullptr;
};

TEST_F(HostWrapperTest, EachWrapperCallsItsOwnSlotWithEveryArgument) {
    // Distinct stand-ins for every pointer the wrappers pass on.
    char a[4], b[4], c[4];
    const auto stream = reinterpret_cast<StreamHandle>(a);
    const auto image = reinterpret_cast<HostImageHandle>(b);
    const auto tags = reinterpret_cast<const TagItem*>(c);
    const auto desc = reinterpret_cast<const MemoryBlockDesc*>(c);
    const auto job = reinterpret_cast<const ConvertJob*>(c);
    const auto info = reinterpret_cast<PluginInfo*>(b);
    const auto pixels = reinterpret_cast<const uint32_t*>(b);
    uint32_t length = 0;
    int32_t width = 0, height = 0;
    const uintptr_t A = word(a), B = word(b), C = word(c), L = word(&length);
    const uintptr_t R = kResult, none = 0xDEAD;  // none: the wrapper returns nothing

    struct Case {
        const char* slot;
        std::function<uintptr_t()> call;
        Words arguments;
        uintptr_t returned;
    };
    const Case cases[] = {
        {"AllocMemory", [&] { return word(AllocMemory(12, 1, a)); }, {12, 1, A}, R},
        {"FreeMemory", [&] { FreeMemory(b); return none; }, {B}, none},
        {"RegisterFormat", [&] { return word(RegisterFormat(info, a, c, 77)); }, {B, 4, A, 0, C, 77, 3}, R},
        {"OpenStream", [&] { return word(OpenStream(a, 1)); }, {A, 1}, R},
        {"OpenStreamTagged", [&] { return word(OpenStreamTagged(a, 1, tags)); }, {A, 1, C}, R},
        {"CloseStream", [&] { CloseStream(stream); return none; }, {A}, none},
        {"SeekStream", [&] { return word(SeekStream(stream, -5, 2)); }, {A, word(int32_t{-5}), 2}, R},
        {"ReadStream", [&] { return word(ReadStream(stream, b, 9)); }, {A, B, 9}, R},
        {"WriteStream", [&] { WriteStream(stream, b, 9); return none; }, {A, B, 9}, none},
        {"ReadStreamByte", [&] { return word(ReadStreamByte(stream)); }, {A}, R},
        {"WriteStreamByte", [&] { WriteStreamByte(stream, 0x1FF); return none; }, {A, 0x1FF}, none},
        {"StreamAtEnd", [&] { return word(StreamAtEnd(stream)); }, {A}, R},
        {"NameMemoryBlock", [&] { return word(NameMemoryBlock(b, desc)); }, {B, MemoryNameLength, C, 0}, R},
        {"OpenMemoryOutput", [&] { return word(OpenMemoryOutput(b)); }, {B, MemoryNameLength, 0}, R},
        {"MemoryOutputBytes", [&] { return word(MemoryOutputBytes(stream, &length)); }, {A, L, 0}, R},
        {"CloseMemoryOutput", [&] { CloseMemoryOutput(stream); return none; }, {A}, none},
        {"DecodeImageFile", [&] { return word(DecodeImageFile(a, tags, &width, &height)); },
         {A, C, word(&width), word(&height), 0}, R},
        {"ImagePixels", [&] { return word(ImagePixels(image)); }, {B}, R},
        {"ReleaseImage", [&] { ReleaseImage(image); return none; }, {B}, none},
        {"EncodePngFile", [&] { return word(EncodePngFile(a, pixels, 6, 7)); }, {A, B, 6, 7, 1, 0, 0}, R},
        {"ConvertPixels", [&] { return word(ConvertPixels(a, reinterpret_cast<uint8_t*>(b), job, 2)); },
         {A, B, C, 2, 0}, R},
        {"CompressBlock", [&] { return word(CompressBlock(a, &length, b, 33)); }, {A, L, B, 33}, R},
        {"UncompressBlock", [&] { return word(UncompressBlock(a, &length, b, 33)); }, {A, L, B, 33}, R},
        {"Crc32Block", [&] { return word(Crc32Block(a, 5)); }, {A, 5}, R},
    };
    for (const Case& c : cases) {
        recorded = {};
        EXPECT_EQ(c.call(), c.returned) << c.slot;
        EXPECT_EQ(recorded.slot, c.slot);
        EXPECT_EQ(recorded.arguments, c.arguments) << c.slot;
    }
}

}  // namespace
