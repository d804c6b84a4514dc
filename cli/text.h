// Text conversions for what the tool prints. Amiga icons keep their texts in
// ISO-8859-1; the tool's output is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace pictra::cli {

// Each byte is the code point of the same value.
std::string latin1ToUtf8(std::string_view latin1);

// A UTF-8 text safe to put on a terminal: control characters (C0, DEL and
// C1) become \xNN or \u00NN escapes and bytes that are not valid UTF-8
// become U+FFFD, so a hostile icon cannot drive the terminal.
std::string printable(std::string_view utf8);

// Walks `utf8` one code point at a time. Returns the code point at `pos` and
// advances `pos`; an invalid or truncated sequence yields U+FFFD and skips
// one byte.
char32_t nextCodePoint(std::string_view utf8, std::size_t& pos);

// Appends the UTF-8 form of `cp` to `out`.
void appendUtf8(std::string& out, char32_t cp);

}  // namespace pictra::cli
