// `veltrum-xls append FILE SHEET Header[:kind]=value ...`: appends one row to a sheet and commits it.
#pragma once

#include <string>
#include <vector>

namespace veltrum::workbook {

struct AppendField;

// Runs the command on its arguments (after "append"); returns 0, or 2 for a usage error.
// Throws WorkbookError when the workbook refuses the row.
int appendCommand(const std::vector<std::string>& args);

// One `Header[:kind]=value` argument as a field; kind is number, text (the default), date
// (YYYY-MM-DD), time (HH:MM[:SS[.fff]]), datetime (date, space or T, time) or empty.
// Throws WorkbookError for a malformed argument.
AppendField parseFieldArgument(const std::string& argument);

} // namespace veltrum::workbook
