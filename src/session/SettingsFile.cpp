#include "SettingsFile.h"

#include "SetupError.h"

#include <cstdio>
#include <exception>

namespace veltrum::session {

namespace {

constexpr std::size_t MaxSettingsFileBytes = 64 * 1024;

std::string hexByte(unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    return escaped;
}

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

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
