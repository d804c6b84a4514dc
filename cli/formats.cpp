#include "formats.h"

#include <algorithm>
#include <filesystem>

#include <fmt/core.h>

#include "json.h"

namespace pictra::cli {

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

}  // namespace

std::vector<FormatRow> formatRows(const std::vector<host::Saver>& savers,
                                  const std::vector<host::RegisteredFormat>& registered) {
    std::vector<FormatRow> rows;
    for (const host::Saver& saver : savers) {
        FormatRow row{saver.name, {}, {}, saver.formatId};
        const auto match = std::find_if(
            registered.begin(), registered.end(),
            [&](const host::RegisteredFormat& format) { return format.formatId == saver.formatId; });
        if (match != registered.end()) {
            row.description = match->description;
            row.extension = match->extension;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string formatIdHex(uint32_t formatId) { return fmt::format("{:08x}", formatId); }

std::string formatsText(const std::vector<FormatRow>& rows) {
    std::size_t nameWidth = 4, descriptionWidth = 11, extensionWidth = 9;
    for (const FormatRow& row : rows) {
        nameWidth = std::max(nameWidth, row.name.size());
        descriptionWidth = std::max(descriptionWidth, row.description.size());
        extensionWidth = std::max(extensionWidth, row.extension.size());
    }
    auto line = [&](const std::string& name, const std::string& description,
                    const std::string& extension, const std::string& id) {
        return fmt::format("{:<{}}  {:<{}}  {:<{}}  {}\n", name, nameWidth, description,
                           descriptionWidth, extension, extensionWidth, id);
    };
    std::string out = line("NAME", "DESCRIPTION", "EXTENSION", "FORMATID");
    for (const FormatRow& row : rows)
        out += line(row.name, row.description, row.extension, formatIdHex(row.formatId));
    return out;
}

std::string formatsJson(const std::vector<FormatRow>& rows) {
    std::string out;
    for (const FormatRow& row : rows) {
        JsonWriter json;
        json.beginObject();
        json.key("name").value(row.name);
        json.key("description").value(row.description);
        json.key("extension").value(row.extension);
        json.key("formatId").value(formatIdHex(row.formatId));
        json.endObject();
        out += json.text() + "\n";
    }
    return out;
}

std::string saverNameFor(const std::string& requested, const std::string& outPath) {
    if (!requested.empty()) return requested;
    const std::string extension = lowerCase(std::filesystem::path(outPath).extension().string());
    if (extension == ".ico") return "WINDOWS";
    if (extension == ".icns") return "MACOS";
    return {};
}

const host::Saver* findSaver(const std::vector<host::Saver>& savers, const std::string& name) {
    const std::string wanted = lowerCase(name);
    for (const host::Saver& saver : savers)
        if (lowerCase(saver.name) == wanted) return &saver;
    return nullptr;
}

std::string saverExtension(const std::vector<host::Saver>& savers, const host::Saver& saver) {
    for (const FormatRow& row : formatRows(savers, host::registeredFormats()))
        if (row.formatId == saver.formatId && !row.extension.empty()) return row.extension;
    return "icon";
}

}  // namespace pictra::cli
