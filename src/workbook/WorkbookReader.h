// Turns the bytes of an Excel 97-2003 file into a Workbook, or refuses the file with a message that
// names it and says what to do.
#pragma once

#include "workbook/Workbook.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum::workbook {

class WorkbookReader {
public:
    // Throws WorkbookError; `displayName` stands for the file in every message.
    static Workbook read(std::vector<std::uint8_t> bytes, const std::string& displayName);
};

} // namespace veltrum::workbook
