// Conversions between UTF-16, as workbooks store text, and UTF-8, as the program handles it.
#pragma once

#include <string>
#include <string_view>

namespace veltrum::workbook {

// Appends the UTF-8 form of UTF-16 code units; unpaired surrogates become U+FFFD.
void appendUtf8(std::u16string_view utf16, std::string& out);
// Appends one code point (below U+10FFFF) as UTF-8.
void appendCodePoint(char32_t codePoint, std::string& out);

// UTF-16 code units of UTF-8 text; a malformed sequence becomes U+FFFD, one per bad byte.
std::u16string utf16FromUtf8(std::string_view utf8);

} // namespace veltrum::workbook
