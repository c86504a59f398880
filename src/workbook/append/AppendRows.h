// Turning the caller's rows into cells of the target sheet: columns found by header, values converted
// to the workbook's date system, texts put in the shared string table, a format chosen for each cell.
#pragma once

#include "workbook/Appender.h"
#include "workbook/append/CellFormats.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/SharedStrings.h"

#include <cstdint>
#include <vector>

namespace veltrum::workbook {

struct NewCell {
    std::uint16_t column = 0;
    bool isText = false;
    double number = 0.0;   // as stored (dates already in the workbook's date system)
    std::uint32_t sst = 0; // shared string index of a text
    std::uint16_t xf = 0;
};

struct NewRow {
    int row = 0;
    std::vector<NewCell> cells; // by column, never empty
};

struct PreparedAppend {
    std::vector<NewRow> rows;                          // rows with at least one value, ascending
    std::vector<std::vector<std::uint8_t>> newFormats; // XF bodies to add after the last XF
    std::uint16_t minColumn = 0xFFFF;
    std::uint16_t maxColumn = 0;
};

// A new cell's record: NUMBER, or LABELSST for a text.
void writeNewCell(std::vector<std::uint8_t>& out, int row, const NewCell& cell);

// Throws WorkbookError naming file, sheet and column for a column that does not exist, a value that
// cannot be stored, or a sheet without room for the rows.
PreparedAppend prepareRows(const std::vector<AppendRow>& rows, const SheetScan& scan,
                           const CellFormats& formats, SharedStrings& strings, bool date1904,
                           const std::string& file, const std::string& sheet);

} // namespace veltrum::workbook
