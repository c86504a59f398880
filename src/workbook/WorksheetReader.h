// The cells of one worksheet substream of a BIFF8 Workbook stream, decoded into typed cells.
#pragma once

#include "workbook/BiffGlobals.h"
#include "workbook/Cell.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace veltrum::workbook {

struct WorksheetCells {
    std::vector<Cell> cells;            // row after row, each as long as its last cell record
    std::vector<std::size_t> rowStarts; // row r is cells[rowStarts[r] .. rowStarts[r + 1])
    int columnCount = 0;
};

// The number an RK value packs: a 30-bit integer or the top 30 bits of a double, optionally / 100.
double decodeRk(std::uint32_t rk);

// Reads from the sheet's BOF at `offset` to its EOF; embedded chart substreams are skipped.
// Throws BiffError when records are cut short or refer to strings or columns that cannot exist.
WorksheetCells readWorksheetCells(std::span<const std::uint8_t> stream, std::size_t offset,
                                  const WorkbookGlobals& globals);

} // namespace veltrum::workbook
