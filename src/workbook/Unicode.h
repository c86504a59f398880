// UTF-16 to UTF-8 conversion for names and text read from workbooks.
#pragma once

#include <string>
#include <string_view>

namespace veltrum::workbook {

// Appends the UTF-8 form of UTF-16 code units; unpaired surrogates become U+FFFD.
void appendUtf8(std::u16string_view utf16, std::string& out);
// Appends one code point (below U+10FFFF) as UTF-8.
void appendCodePoint(char32_t codePoint, std::string& out);

// UTF-16 code units of UTF-8 text (for comparing names stored as UTF-16).
std::u16string utf16FromUtf8(std::string_view utf8);

} // namespace veltrum::workbook
