// Names for memory blocks and memory outputs.
//
// A name is "mem:" or "memout:", a random token drawn once per process, a
// sequence number, and for blocks the extension. It is only ever a key into
// the tables below: nothing is parsed out of it, so a made-up name that looks
// right resolves to nothing.
//
// Lifetime of a block name: NameMemoryBlock copies the bytes, so the caller
// may release its buffer at once. The name is one-shot: the DecodeImageFile
// that resolves it retires it, whether the decode succeeds or not. The
// module never releases names itself, so at most kMaxLiveBlockNames names
// holding at most kMaxNamedBytes stay live; naming one more retires the
// oldest until the new one fits.
//
// Lifetime of an output name: from OpenMemoryOutput to CloseMemoryOutput (or
// CloseStream) of its stream.
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include "host/stream_internal.h"
#include "host/streams.h"

namespace pictra::host {
namespace {

constexpr std::size_t kMaxLiveBlockNames = 64;
// The bytes all live names hold together, and so the largest block. A named
// block is encoded image data; decoding caps apply after this.
constexpr std::size_t kMaxNamedBytes = std::size_t{128} << 20;
constexpr std::string_view kOutputPrefix = "memout:";

struct Names {
    std::mutex lock;
    std::string token;
    uint64_t sequence = 0;
    std::map<std::string, std::vector<uint8_t>> blocks;
    std::deque<std::string> blockOrder;  // oldest first
    std::size_t blockBytes = 0;          // held by all live names
    std::map<std::string, PictraStream*> outputs;
};

std::string randomToken() {
    std::random_device entropy;
    const uint64_t high = entropy();
    const uint64_t low = entropy();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>((high << 32) ^ low));
    return text;
}

Names& names() {
    static Names instance;
    static std::once_flag drawn;
    std::call_once(drawn, [] { instance.token = randomToken(); });
    return instance;
}

// Copies `text` with its terminator into the caller's buffer if it fits.
bool copyName(const std::string& text, char* buffer, int32_t length) {
    if (!buffer || length <= 0) return false;
    if (text.size() >= static_cast<std::size_t>(length)) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

// Forgets a block name and hands back the bytes it held.
std::vector<uint8_t> retireBlock(Names& n, std::string name) {
    std::vector<uint8_t> bytes;
    auto it = n.blocks.find(name);
    if (it != n.blocks.end()) {
        bytes = std::move(it->second);
        n.blockBytes -= bytes.size();
        n.blocks.erase(it);
    }
    std::erase(n.blockOrder, name);
    return bytes;
}

std::string nextName(Names& n, std::string_view prefix, const char* suffix) {
    return std::string(prefix) + n.token + ":" + std::to_string(++n.sequence) + suffix;
}

}  // namespace

int32_t nameMemoryBlock(char* name, int32_t nameLength, const MemoryBlockDesc* desc, uintptr_t) {
    if (!name || nameLength <= 0) return 0;
    name[0] = '\0';
    if (!desc) return 0;
    const auto size = static_cast<int64_t>((uint64_t{desc->sizeHigh} << 32) | desc->sizeLow);
    if (size < 0 || static_cast<uint64_t>(size) > kMaxNamedBytes) return 0;
    if (!desc->data && size > 0) return 0;
    const bool png = desc->extension && std::strcmp(desc->extension, "png") == 0;
    try {
        const auto* data = static_cast<const uint8_t*>(desc->data);
        std::vector<uint8_t> copy(data, data + size);
        Names& n = names();
        std::lock_guard guard(n.lock);
        std::string text = nextName(n, "mem:", png ? ".png" : ".bin");
        if (text.size() >= static_cast<std::size_t>(nameLength)) return 0;
        while (!n.blockOrder.empty() && (n.blockOrder.size() >= kMaxLiveBlockNames ||
                                         n.blockBytes + copy.size() > kMaxNamedBytes)) {
            retireBlock(n, n.blockOrder.front());
        }
        n.blockBytes += copy.size();
        n.blocks.emplace(text, std::move(copy));
        n.blockOrder.push_back(text);
        return copyName(text, name, nameLength) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

bool takeNamedBlock(const char* name, std::vector<uint8_t>& out) {
    if (!name) return false;
    Names& n = names();
    std::lock_guard guard(n.lock);
    auto it = n.blocks.find(name);
    if (it == n.blocks.end()) return false;
    out = retireBlock(n, it->first);
    return true;
}

bool isMemoryOutputName(const char* name) {
    return name && std::string_view(name).starts_with(kOutputPrefix);
}

StreamHandle openMemoryOutput(char* name, int32_t nameLength, uintptr_t) {
    if (!name || nameLength <= 0) return nullptr;
    name[0] = '\0';
    try {
        auto stream = std::make_unique<PictraStream>();
        stream->kind = PictraStream::Kind::MemoryOutput;
        Names& n = names();
        std::lock_guard guard(n.lock);
        stream->name = nextName(n, kOutputPrefix, "");
        if (!copyName(stream->name, name, nameLength)) return nullptr;
        n.outputs.emplace(stream->name, stream.get());
        noteStreamOpened();
        return stream.release();
    } catch (...) {
        name[0] = '\0';
        return nullptr;
    }
}

PictraStream* findMemoryOutput(const char* name) {
    if (!name) return nullptr;
    Names& n = names();
    std::lock_guard guard(n.lock);
    auto it = n.outputs.find(name);
    return it == n.outputs.end() ? nullptr : it->second;
}

const void* memoryOutputBytes(StreamHandle stream, uint32_t* size, uintptr_t) {
    static const uint8_t kEmpty = 0;
    if (size) *size = 0;
    if (!stream || stream->kind != PictraStream::Kind::MemoryOutput) return nullptr;
    if (size) *size = static_cast<uint32_t>(stream->bytes.size());
    return stream->bytes.empty() ? &kEmpty : stream->bytes.data();
}

void closeMemoryOutput(StreamHandle stream) {
    closeStream(stream);
}

void releaseStream(PictraStream* stream) {
    if (!stream) return;
    std::unique_ptr<PictraStream> owned(stream);
    if (owned->kind == PictraStream::Kind::MemoryOutput) {
        Names& n = names();
        std::lock_guard guard(n.lock);
        n.outputs.erase(owned->name);
    }
    noteStreamClosed();
}

}  // namespace pictra::host
