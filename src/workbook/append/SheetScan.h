// What the appender needs to know about the target sheet: its offset-bearing records, where its cell
// table and last row block lie, the header row and the formats of the last row.
#pragma once

#include "workbook/biff/Layout.h"
#include "workbook/biff/SharedStrings.h"

#include <map>
#include <optional>

namespace veltrum::workbook {

struct SheetScan {
    std::size_t index = SIZE_MAX;       // INDEX record
    std::size_t dimensions = SIZE_MAX;  // DIMENSIONS record
    std::size_t defColWidth = SIZE_MAX; // DEFCOLWIDTH record
    // The cell table: from the first to the last ROW, cell or DBCELL record (or one that belongs to a
    // formula), [start, end); other records caught in between travel with the cell before them.
    std::size_t tableStart = SIZE_MAX;
    std::size_t tableEnd = SIZE_MAX;
    // Row blocks of the cell table, [start, end) record ranges: each ends after its DBCELL or, in a
    // table written without DBCELLs, before a ROW record that follows cells.
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    std::vector<std::pair<int, int>> blockRows; // lowest and highest row of each block, -1 when none
    int lastCellRow = -1;                       // last row holding a cell record
    int lastRow = -1;                           // last row holding a cell or a ROW record
    int firstRow = -1;
    std::map<std::uint16_t, std::string> header;                  // row 0: column -> text
    std::map<std::uint16_t, std::uint16_t> lastRowXf;             // the last cell row's cells: column -> XF
    std::size_t lastRowRecord = SIZE_MAX;                         // ROW record of the last cell row
    std::vector<std::pair<std::uint16_t, std::uint16_t>> colInfo; // [first, last] column ranges
    std::vector<std::uint16_t> colInfoXf;
    std::size_t dbCellCount = 0;

    std::optional<std::uint16_t> columnXf(std::uint16_t column) const;
};

SheetScan scanSheet(std::span<const std::uint8_t> stream, const BiffLayout& layout, const SheetInfo& sheet,
                    const SharedStrings& strings);

// Records that sit in the cell table because they belong to the formula before them.
bool isFormulaCompanion(std::uint16_t type);

} // namespace veltrum::workbook
