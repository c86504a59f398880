// Reading the data folder's small text files as comma- and line-separated fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrum::session {

struct TextField {
    std::string text;
    int line = 0; // counted from 1
};

// Fields are separated by commas and line ends (LF, CRLF or CR). An unquoted field loses the spaces and
// tabs around it; a field in double quotes keeps everything between them, commas included, and "" inside
// the quotes stands for one quote. Empty unquoted fields (empty lines, ",,", a trailing comma) yield
// nothing, a quoted "" yields an empty field. A line whose first character other than spaces and tabs is
// '#' is a comment and yields nothing. A UTF-8 byte order mark at the start is skipped.
// Throws SetupError naming `fileName` and the line for a quote left open or text after a closing quote.
std::vector<TextField> readTextFields(std::string_view content, const std::string& fileName);

} // namespace veltrum::session
