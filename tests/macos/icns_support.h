// What the macOS icon suites share: the module saving "MACOS", the elements
// of a file, and what Pillow and icnsutils read from the same files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/images.h"
#include "icon_pictures.h"

namespace pictra::test {

class MacIconTest : public PictureModuleTest {
protected:
    void SetUp() override {
        PictureModuleTest::SetUp();
        format_ = formatId("MACOS");
        scratch_ = "in.icns";
    }
};

inline const char* const kIcns2Png = "/usr/bin/icns2png";
inline const char* const kPng2Icns = "/usr/bin/png2icns";
inline bool haveTool(const char* tool) { return ::access(tool, X_OK) == 0; }
inline bool havePillow() { return havePython("PIL.IcnsImagePlugin"); }
inline std::string peersScript() { return std::string(kPython) + " " + shellQuoted(PICTRA_ICNS_PEERS); }

struct IcnsElement {
    std::string code;
    std::size_t offset = 0, length = 0;  // of the data
};

// The elements of a well-formed file, in order.
inline std::vector<IcnsElement> icnsElements(const Bytes& file) {
    std::vector<IcnsElement> out;
    for (std::size_t at = 8; at + 8 <= file.size();) {
        const std::size_t length = be32(file, at + 4);
        if (length < 8 || length > file.size() - at) break;
        out.push_back({std::string(file.begin() + long(at), file.begin() + long(at) + 4), at + 8, length - 8});
        at += length;
    }
    return out;
}

// Whether an element of `code` makes one picture when read.
inline bool makesPicture(const std::string& code) {
    static const std::set<std::string> codes = {"ics4", "ics8", "is32", "icp4", "icl4", "icl8", "il32",
                                                "icp5", "ich4", "ich8", "ih32", "icp6", "it32", "ic07",
                                                "ic08", "ic09", "ic10", "ic11", "ic12", "ic13", "ic14"};
    return codes.count(code) != 0;
}

// The index of the picture the first element of `code` made, or -1.
inline int pictureOf(const std::vector<IcnsElement>& elements, const std::string& code) {
    int index = 0;
    for (const IcnsElement& element : elements) {
        if (element.code == code) return makesPicture(code) ? index : -1;
        index += makesPicture(element.code);
    }
    return -1;
}

// The pictures icns2png extracts from `file` into `folder`, by the element
// of its "WxHxD" name part (none for the 1-bit plane and sizes Pictra has
// no element for).
inline std::map<std::string, host::Picture> icns2pngPictures(const std::string& file, const fs::path& folder) {
    static const std::map<std::string, std::string> codes = {
        {"16x16x4", "ics4"},   {"32x32x4", "icl4"},     {"48x48x4", "ich4"},      {"16x16x8", "ics8"},
        {"32x32x8", "icl8"},   {"48x48x8", "ich8"},     {"16x16x32", "is32"},     {"32x32x32", "il32"},
        {"48x48x32", "ih32"},  {"128x128x32", "it32"},  {"256x256x32", "ic08"},   {"512x512x32", "ic09"},
        {"1024x1024x32", "ic10"}};
    std::map<std::string, host::Picture> out;
    fs::create_directories(folder);
    runCommand("cd " + shellQuoted(folder.string()) + " && " + kIcns2Png + " -x " + shellQuoted(file) + " >/dev/null 2>&1");
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().stem().string();
        const auto code = codes.find(name.substr(name.rfind('_') + 1));
        if (entry.path().extension() != ".png" || code == codes.end()) continue;
        if (auto picture = host::decodeImage(readFile(entry.path()))) out[code->second] = std::move(*picture);
    }
    return out;
}

// Pillow's pictures of every size of each file (one run for all): the
// kind of each is its scale.
inline std::vector<std::vector<PeerPicture>> pillowPictures(const std::vector<std::string>& files, const fs::path& folder) {
    std::string command = peersScript() + " dump";
    for (std::size_t i = 0; i < files.size(); ++i)
        command += " " + shellQuoted(files[i]) + " " + shellQuoted((folder / (std::to_string(i) + ".dump")).string());
    runCommand(command);
    std::vector<std::vector<PeerPicture>> out;
    for (std::size_t i = 0; i < files.size(); ++i) out.push_back(readPeerDump((folder / (std::to_string(i) + ".dump")).string()));
    return out;
}

// The element Pillow takes a size from: an image file when the size has
// one, else the packed picture (with its alpha).
inline std::string pillowElement(const std::vector<IcnsElement>& elements, const PeerPicture& peer) {
    static const std::map<std::string, std::vector<std::string>> bySize = {
        {"512x2", {"ic10"}}, {"512x1", {"ic09"}}, {"256x2", {"ic14"}}, {"256x1", {"ic08"}},
        {"128x2", {"ic13"}}, {"128x1", {"ic07", "it32"}}, {"64x1", {"icp6"}}, {"32x2", {"ic12"}},
        {"48x1", {"ih32"}}, {"32x1", {"icp5", "il32"}}, {"16x2", {"ic11"}}, {"16x1", {"icp4", "is32"}},
    };
    auto found = bySize.find(std::to_string(peer.picture.width / int(peer.kind)) + "x" + std::to_string(peer.kind));
    for (const std::string& code : found == bySize.end() ? std::vector<std::string>{} : found->second)
        for (const IcnsElement& element : elements)
            if (element.code == code) return code;
    return {};
}

}  // namespace pictra::test
