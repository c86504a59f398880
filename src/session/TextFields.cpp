#include "TextFields.h"

#include "SetupError.h"
#include "platform/SettingsLine.h"

namespace veltrum::session {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

} // namespace

std::vector<TextField> readTextFields(std::string_view content, const std::string& fileName) {
    if (content.starts_with("\xEF\xBB\xBF"))
        content.remove_prefix(3);

    std::vector<TextField> fields;
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = content.size();

    auto fail = [&](const std::string& what) {
        throw SetupError(fileName + ", line " + std::to_string(line) + ": " + what +
                         " Correct the file and start the program again.");
    };
    // Steps over one separator: a comma, or a line end (CRLF counts once).
    auto skipSeparator = [&] {
        if (i >= n)
            return;
        if (content[i] == ',') {
            ++i;
        } else if (content[i] == '\r') {
            ++i;
            if (i < n && content[i] == '\n')
                ++i;
            ++line;
        } else if (content[i] == '\n') {
            ++i;
            ++line;
        }
    };

    while (i < n) {
        // A comment line is skipped whole, commas and quotes in it included.
        if (i == 0 || isLineEnd(content[i - 1])) {
            std::size_t end = i;
            while (end < n && !isLineEnd(content[end]))
                ++end;
            if (platform::isSkippedSettingsLine(content.substr(i, end - i))) {
                i = end;
                skipSeparator();
                continue;
            }
        }
        while (i < n && isBlank(content[i]))
            ++i;
        if (i < n && content[i] == '"') {
            const int startLine = line;
            std::string text;
            ++i;
            for (;;) {
                if (i >= n) {
                    line = startLine;
                    fail("a double quote is opened and never closed.");
                }
                if (content[i] == '"') {
                    if (i + 1 < n && content[i + 1] == '"') {
                        text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (content[i] == '\n' || (content[i] == '\r' && !(i + 1 < n && content[i + 1] == '\n')))
                    ++line;
                text += content[i++];
            }
            while (i < n && isBlank(content[i]))
                ++i;
            if (i < n && content[i] != ',' && !isLineEnd(content[i]))
                fail("unexpected text after the closing double quote of \"" + text + "\".");
            fields.push_back({std::move(text), startLine});
            skipSeparator();
            continue;
        }
        const std::size_t start = i;
        while (i < n && content[i] != ',' && !isLineEnd(content[i]))
            ++i;
        std::size_t end = i;
        while (end > start && isBlank(content[end - 1]))
            --end;
        if (end > start)
            fields.push_back({std::string(content.substr(start, end - start)), line});
        skipSeparator();
    }
    return fields;
}

} // namespace veltrum::session
