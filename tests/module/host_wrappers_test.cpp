// Every host-service wrapper of the module against tables whose every used
// slot records its own name and arguments: a wrapper that calls the wrong
// slot, drops an argument or passes the wrong constant is caught here.
#include <gtest/gtest.h>

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
};
Call recorded;

uintptr_t word(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }
uintptr_t word(uint64_t value) { return static_cast<uintptr_t>(value); }
uintptr_t word(uint32_t value) { return value; }
uintptr_t word(int32_t value) { return static_cast<uintptr_t>(value); }

template <typename... Arguments>
void note(const char* slot, Arguments... arguments) {
    recorded = {slot, {word(arguments)...}};
}

// What every recording slot hands back, so results are seen to pass through.
constexpr uintptr_t kResult = 0x5A17;
template <typename T>
T result() {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(kResult);
    else
        return static_cast<T>(kResult);
}

SystemTable recordingSystem() {
    SystemTable t{};
    t.AllocMemory = [](uint32_t s, uint32_t c, const char* g) { note("AllocMemory", s, c, g); return result<void*>(); };
    t.FreeMemory = [](void* b) { note("FreeMemory", b); };
    t.RegisterFormat = [](PluginInfo* i, uint32_t k, const char* d, const void* r, const char* e, uint32_t id,
                          uint32_t f) { note("RegisterFormat", i, k, d, r, e, id, f); return result<int32_t>(); };
    return t;
}

StreamTable recordingStream() {
    StreamTable t{};
    t.OpenStream = [](const char* n, int32_t m) { note("OpenStream", n, m); return result<StreamHandle>(); };
    t.CloseStream = [](StreamHandle s) { note("CloseStream", s); };
    t.SeekStream = [](StreamHandle s, int32_t o, int32_t m) { note("SeekStream", s, o, m); return result<int32_t>(); };
    t.ReadStream = [](StreamHandle s, void* b, int32_t l) { note("ReadStream", s, b, l); return result<int32_t>(); };
    t.WriteStream = [](StreamHandle s, const void* b, int32_t l) { note("WriteStream", s, b, l); return result<int32_t>(); };
    t.ReadStreamByte = [](StreamHandle s) { note("ReadStreamByte", s); return result<int32_t>(); };
    t.WriteStreamByte = [](StreamHandle s, int32_t v) { note("WriteStreamByte", s, v); };
    t.StreamAtEnd = [](StreamHandle s) { note("StreamAtEnd", s); return result<int32_t>(); };
    t.OpenStreamTagged = [](const char* n, int32_t m, const TagItem* g) {
        note("OpenStreamTagged", n, m, g);
        return result<StreamHandle>();
    };
    t.NameMemoryBlock = [](char* n, int32_t l, const MemoryBlockDesc* d, uintptr_t r) {
        note("NameMemoryBlock", n, l, d, uint64_t{r});
        return result<int32_t>();
    };
    t.OpenMemoryOutput = [](char* n, int32_t l, uintptr_t r) {
        note("OpenMemoryOutput", n, l, uint64_t{r});
        return result<StreamHandle>();
    };
    t.MemoryOutputBytes = [](StreamHandle s, uint32_t* z, uintptr_t r) {
        note("MemoryOutputBytes", s, z, uint64_t{r});
        return result<const void*>();
    };
    t.CloseMemoryOutput = [](StreamHandle s) { note("CloseMemoryOutput", s); };
    return t;
}

ImageTable recordingImage() {
    ImageTable t{};
    t.DecodeImageFile = [](const char* n, const TagItem* g, int32_t* w, int32_t* h, uintptr_t r) {
        note("DecodeImageFile", n, g, w, h, uint64_t{r});
        return result<HostImageHandle>();
    };
    t.ImagePixels = [](HostImageHandle i) { note("ImagePixels", i); return result<const uint32_t*>(); };
    t.ReleaseImage = [](HostImageHandle i) { note("ReleaseImage", i); };
    t.EncodePngFile = [](const char* n, const uint32_t* p, int32_t w, int32_t h, int32_t a, uintptr_t r5,
                         uintptr_t r6) {
        note("EncodePngFile", n, p, w, h, a, uint64_t{r5}, uint64_t{r6});
        return result<int32_t>();
    };
    t.ConvertPixels = [](const void* s, uint8_t* d, const ConvertJob* j, int32_t m, uintptr_t r) {
        note("ConvertPixels", s, d, j, m, uint64_t{r});
        return result<int32_t>();
    };
    return t;
}

CompressionTable recordingCompression() {
    CompressionTable t{};
    t.CompressBlock = [](void* d, uint32_t* l, const void* s, uint32_t n) {
        note("CompressBlock", d, l, s, n);
        return result<int32_t>();
    };
    t.UncompressBlock = [](void* d, uint32_t* l, const void* s, uint32_t n) {
        note("UncompressBlock", d, l, s, n);
        return result<int32_t>();
    };
    return t;
}

ChecksumTable recordingChecksum() {
    ChecksumTable t{};
    t.Crc32Block = [](const void* b, uint32_t l) { note("Crc32Block", b, l); return result<uint32_t>(); };
    return t;
}

class HostWrapperTest : public pictra::test::ModuleUnitTest {
protected:
    void SetUp() override {
        ModuleUnitTest::SetUp();
        real_ = Host;
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

    SystemTable system_ = recordingSystem();
    StreamTable stream_ = recordingStream();
    ImageTable image_ = recordingImage();
    CompressionTable compression_ = recordingCompression();
    ChecksumTable checksum_ = recordingChecksum();
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
