// What the comparisons with Pillow and icnsutils share: running the tools,
// the elements of a file, and pixels compared as RGBA.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/images.h"
#include "icns_fixture.h"

namespace pictra::test {

inline const char* const kPython = "/usr/bin/python3";
inline const char* const kIcns2Png = "/usr/bin/icns2png";
inline const char* const kPng2Icns = "/usr/bin/png2icns";

inline bool haveTool(const char* tool) { return ::access(tool, X_OK) == 0; }

inline bool havePillow() {
    return haveTool(kPython) &&
           std::system((std::string(kPython) + " -c 'import PIL.IcnsImagePlugin' 2>/dev/null").c_str()) == 0;
}

inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; its standard output, and whether it exited with 0.
inline bool runCommand(const std::string& command, std::string* output) {
    output->clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
    return ::pclose(pipe) == 0;
}

inline std::string peersScript() { return std::string(PICTRA_ICNS_PEERS); }

struct IcnsElement {
    std::string code;
    std::size_t offset = 0;  // of the data
    std::size_t length = 0;  // of the data
};

// The elements of a well-formed file, in order.
inline std::vector<IcnsElement> icnsElements(const Bytes& file) {
    std::vector<IcnsElement> out;
    for (std::size_t at = 8; at + 8 <= file.size();) {
        const std::size_t length = std::size_t{file[at + 4]} << 24 | std::size_t{file[at + 5]} << 16 |
                                   std::size_t{file[at + 6]} << 8 | file[at + 7];
        if (length < 8 || length > file.size() - at) break;
        out.push_back({std::string(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at) + 4),
                       at + 8, length - 8});
        at += length;
    }
    return out;
}

// The element codes that make one picture each when read, in the order
// the pictures appear.
inline bool makesPicture(const std::string& code) {
    static const char* const codes[] = {"ics4", "ics8", "is32", "icp4", "icl4", "icl8", "il32", "icp5",
                                        "ich4", "ich8", "ih32", "icp6", "it32", "ic07", "ic08", "ic09",
                                        "ic10", "ic11", "ic12", "ic13", "ic14"};
    for (const char* known : codes)
        if (code == known) return true;
    return false;
}

// The index of the picture the first element of `code` made, or -1.
inline int pictureOf(const std::vector<IcnsElement>& elements, const std::string& code) {
    int index = 0;
    for (const IcnsElement& element : elements) {
        if (!makesPicture(element.code)) continue;
        if (element.code == code) return index;
        ++index;
    }
    return -1;
}

// RGBA bytes of 0xAARRGGBB words.
inline Bytes rgbaOf(const std::vector<uint32_t>& argb) {
    Bytes out;
    out.reserve(argb.size() * 4);
    for (uint32_t p : argb) {
        out.push_back(static_cast<uint8_t>(p >> 16));
        out.push_back(static_cast<uint8_t>(p >> 8));
        out.push_back(static_cast<uint8_t>(p));
        out.push_back(static_cast<uint8_t>(p >> 24));
    }
    return out;
}

// How many pixels differ; with `visibleOnly` the colour of a pixel both
// sides show fully transparent does not count.
inline std::size_t pixelsDiffering(const Bytes& a, const Bytes& b, bool visibleOnly) {
    if (a.size() != b.size()) return a.size() > b.size() ? a.size() / 4 : b.size() / 4;
    std::size_t differing = 0;
    for (std::size_t i = 0; i + 3 < a.size(); i += 4) {
        if (visibleOnly && a[i + 3] == 0 && b[i + 3] == 0) continue;
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2] || a[i + 3] != b[i + 3]) ++differing;
    }
    return differing;
}

// The pictures icns2png extracts from `file` into `folder`, by their
// "WxHxD" name part.
inline std::map<std::string, host::Picture> icns2pngPictures(const std::string& file, const fs::path& folder) {
    std::map<std::string, host::Picture> out;
    fs::create_directories(folder);
    std::string ignored;
    runCommand("cd " + quoted(folder.string()) + " && " + kIcns2Png + " -x " + quoted(file) + " 2>/dev/null", &ignored);
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().stem().string();
        const std::size_t cut = name.rfind('_');
        if (entry.path().extension() != ".png" || cut == std::string::npos) continue;
        std::optional<host::Picture> picture = host::decodeImage(readFile(entry.path()));
        if (picture) out[name.substr(cut + 1)] = std::move(*picture);
    }
    return out;
}

// The element icns2png names "WxHxD" after, for the depths Pictra reads.
inline std::string icns2pngElement(const std::string& name) {
    static const std::map<std::string, std::string> codes = {
        {"16x16x4", "ics4"},     {"32x32x4", "icl4"},     {"48x48x4", "ich4"},   {"16x16x8", "ics8"},
        {"32x32x8", "icl8"},     {"48x48x8", "ich8"},     {"16x16x32", "is32"},  {"32x32x32", "il32"},
        {"48x48x32", "ih32"},    {"128x128x32", "it32"},  {"256x256x32", "ic08"}, {"512x512x32", "ic09"},
        {"1024x1024x32", "ic10"},
    };
    auto found = codes.find(name);
    return found == codes.end() ? std::string() : found->second;
}

// One size of one file as Pillow read it.
struct PillowPicture {
    int fileIndex = 0;
    int width = 0, height = 0, scale = 0;
    bool failed = false;
    Bytes rgba;
};

// Pillow's pictures of every size of every file, through one run.
inline std::vector<PillowPicture> pillowPictures(const std::vector<std::string>& files, const fs::path& folder) {
    fs::create_directories(folder);
    std::string command = std::string(kPython) + " " + quoted(peersScript()) + " dump " + quoted(folder.string());
    for (const std::string& file : files) command += " " + quoted(file);
    std::string output;
    runCommand(command, &output);
    std::vector<PillowPicture> out;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        PillowPicture picture;
        std::string rest;
        fields >> picture.fileIndex >> picture.width >> picture.height >> picture.scale >> rest;
        picture.failed = rest == "error";
        if (!picture.failed) {
            picture.rgba = readFile(folder / (std::to_string(picture.fileIndex) + "-" + std::to_string(picture.width) +
                                              "x" + std::to_string(picture.height) + "x" +
                                              std::to_string(picture.scale) + ".rgba"));
        }
        out.push_back(std::move(picture));
    }
    return out;
}

// The element Pillow takes a size from: an image file when the size has
// one, else the packed picture (with its alpha).
inline std::string pillowElement(const std::vector<IcnsElement>& elements, const PillowPicture& picture) {
    static const std::map<std::string, std::vector<std::string>> bySize = {
        {"512x512x2", {"ic10"}}, {"512x512x1", {"ic09"}}, {"256x256x2", {"ic14"}},
        {"256x256x1", {"ic08"}}, {"128x128x2", {"ic13"}}, {"128x128x1", {"ic07", "it32"}},
        {"64x64x1", {"icp6"}},   {"32x32x2", {"ic12"}},   {"48x48x1", {"ih32"}},
        {"32x32x1", {"icp5", "il32"}}, {"16x16x2", {"ic11"}}, {"16x16x1", {"icp4", "is32"}},
    };
    const std::string key = std::to_string(picture.width) + "x" + std::to_string(picture.height) + "x" +
                            std::to_string(picture.scale);
    auto found = bySize.find(key);
    if (found == bySize.end()) return {};
    for (const std::string& code : found->second)
        for (const IcnsElement& element : elements)
            if (element.code == code) return code;
    return {};
}

}  // namespace pictra::test
