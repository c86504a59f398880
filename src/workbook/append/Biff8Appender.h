// Appending rows to one sheet of a BIFF8 Workbook stream: rebuilds the stream from its records, copying
// every record it does not touch and recomputing those that hold positions or extents.
#pragma once

#include "workbook/Appender.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

// Returns the new Workbook stream; throws WorkbookError naming displayName (and the sheet or column)
// when it refuses: unknown sheet or column, full sheet, encrypted, older format or damaged workbook.
std::vector<std::uint8_t> appendToWorkbookStream(std::span<const std::uint8_t> stream,
                                                 const std::string& displayName, std::string_view sheetName,
                                                 const std::vector<AppendRow>& rows);

} // namespace veltrum::workbook
