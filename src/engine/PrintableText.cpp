#include "engine/PrintableText.h"

#include <cstdio>

namespace veltrum::engine {

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

std::string hexByte(unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    return escaped;
}

} // namespace

std::string printable(std::string_view text, std::size_t limit) {
    std::string shown;
    std::size_t characters = 0;
    std::size_t i = 0;
    while (i < text.size() && characters < limit) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            shown += byte < 0x20 || byte == 0x7F ? hexByte(byte) : std::string(1, text[i]);
            ++i;
        } else if (const std::size_t length = utf8Length(text, i)) {
            shown.append(text.substr(i, length));
            i += length;
        } else {
            shown += hexByte(byte);
            ++i;
        }
        ++characters;
    }
    if (i < text.size())
        shown += "... (" + std::to_string(text.size()) + " bytes in all)";
    return shown;
}

} // namespace veltrum::engine
