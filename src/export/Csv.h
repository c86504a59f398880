// CSV as RFC 4180 writes it: fields separated by commas, records ended by CRLF, a field holding a comma,
// a quote or a line break enclosed in quotes with its quotes doubled.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrum::exporting {

// Appends `field` to `line`, quoted where it must be.
void appendCsvField(std::string& line, std::string_view field);

// Reads the record at the start of `input` into `fields` and moves `input` past it (and its line end,
// CRLF or LF); false at the end of the input. A quote left open runs to the end of the input.
bool readCsvRecord(std::string_view& input, std::vector<std::string>& fields);

} // namespace veltrum::exporting
