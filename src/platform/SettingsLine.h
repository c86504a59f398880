// The one rule every settings file of the data folder shares (the port, the subject list, the tablet's
// addresses, the port map): a line that is blank, or whose first character other than spaces and tabs
// is '#', says nothing and is skipped.
#pragma once

#include <string_view>

namespace veltrum::platform {

// True for a line that is empty, all spaces and tabs, or a comment; `line` holds no line end (a CR left
// by a CRLF line end counts as blank).
constexpr bool isSkippedSettingsLine(std::string_view line) {
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r')
            continue;
        return c == '#';
    }
    return true;
}

} // namespace veltrum::platform
