// A small writer of compact JSON text, enough for the tool's one-line
// records. Strings go in as UTF-8; invalid bytes come out as U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pictra::cli {

// `text` as a JSON string literal, quotes included. Quote, backslash and
// control characters (C0, DEL and C1) are escaped; \u00XX for the controls
// without a short escape.
std::string jsonString(std::string_view utf8);

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view utf8);
    JsonWriter& value(const char* utf8) { return value(std::string_view(utf8)); }
    JsonWriter& value(int64_t number);
    JsonWriter& null();

    const std::string& text() const { return text_; }

private:
    void separate();
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);

    std::string text_;
    std::vector<bool> empty_;  // per open container: nothing written yet
    bool afterKey_ = false;
};

}  // namespace pictra::cli
