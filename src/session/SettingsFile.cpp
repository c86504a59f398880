#include "SettingsFile.h"

#include "SetupError.h"

#include <cstdio>
#include <exception>

namespace veltrum::session {

namespace {

constexpr std::size_t MaxSettingsFileBytes = 64 * 1024;

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

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

std::string printable(std::string_view text, std::size_t limit) {
    std::string shown;
    std::size_t characters = 0;
    std::size_t i = 0;
    while (i < text.size() && characters < limit) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            shown += isControl(byte) ? hexByte(byte) : std::string(1, text[i]);
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

std::vector<TextField> readSettingsFile(const platform::FileSystem& fileSystem, const std::string& path,
                                        const std::string& what) {
    std::string content;
    try {
        content = fileSystem.readText(path, MaxSettingsFileBytes);
    } catch (const std::exception& error) {
        throw SetupError(what + " cannot be used: " + error.what() +
                         " Replace it with a small plain text file and start the program again.");
    }
    int line = 1;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const auto byte = static_cast<unsigned char>(content[i]);
        if (byte == '\n')
            ++line;
        if (isControl(byte) && byte != '\n' && byte != '\r' && byte != '\t') {
            const std::size_t lineStart =
                content.rfind('\n', i) == std::string::npos ? 0 : content.rfind('\n', i) + 1;
            const std::size_t lineEnd = content.find('\n', i);
            std::string_view text = std::string_view(content).substr(
                lineStart, lineEnd == std::string::npos ? lineEnd : lineEnd - lineStart);
            if (text.ends_with('\r'))
                text.remove_suffix(1);
            throw SetupError(what + " " + path + ", line " + std::to_string(line) +
                             ", holds the control character " + hexByte(byte) + " in \"" + printable(text) +
                             "\". Save it again as plain text (a text editor, not a word processor).");
        }
    }
    std::vector<TextField> fields = readTextFields(content, path);
    for (const TextField& field : fields)
        if (field.text.size() > MaxSettingsFieldLength)
            throw SetupError(what + " " + path + ", line " + std::to_string(field.line) + ": the entry \"" +
                             printable(field.text) + "\" is longer than " +
                             std::to_string(MaxSettingsFieldLength) +
                             " characters. Put one short entry on each line.");
    return fields;
}

} // namespace veltrum::session
