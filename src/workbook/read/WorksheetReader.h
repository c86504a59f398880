// The cells of one worksheet substream of a BIFF8 Workbook stream: first measured (rows, widths, where
// each block of rows lies in the stream), then decoded into compact cells for whichever rows and
// columns the caller keeps.
#pragma once

#include "workbook/Cell.h"
#include "workbook/biff/Records.h"
#include "workbook/read/CellStore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace veltrum::workbook {

// What decoding a cell needs from the workbook.
struct ReadContext {
    std::span<const std::uint8_t> stream;
    const std::vector<CellKind>* styleKinds = nullptr; // per XF: Number, Date, Time or DateTime
    bool date1904 = false;
    std::size_t sharedStringCount = 0;
};

constexpr int RowsPerBlock = 1024;

struct SheetExtent {
    int rowCount = 0;                  // up to the last row holding a cell record
    std::vector<std::uint16_t> widths; // per row: one past its last column holding a cell record
    // Per block of RowsPerBlock rows: stream offsets of its first and last cell record (0, 0 if none).
    std::vector<std::pair<std::size_t, std::size_t>> blockSpans;
    int columnCount() const;
};

// Where decoded cells go: a slot for each wanted cell (nullptr for one the caller does not keep), and a
// place for texts that are not shared strings.
class CellSink {
public:
    virtual ~CellSink() = default;
    virtual StoredCell* slot(std::uint16_t row, std::uint16_t column) = 0;
    virtual std::uint32_t addText(std::string text) = 0;
};

// The number an RK value packs: a 30-bit integer or the top 30 bits of a double, optionally / 100.
double decodeRk(std::uint32_t rk);

// Walks the sheet whose BOF is at `offset`; embedded chart substreams are skipped. Throws BiffError
// when records are cut short or a cell lies beyond the last column a sheet can have.
SheetExtent measureWorksheet(const ReadContext& context, std::size_t offset);

// Decodes the cells of records from `from` (the sheet's BOF, or a cell record of it) to the last one
// at or before `until`, into `sink`. Throws BiffError for cut-short records or unknown shared strings.
void readWorksheetCells(const ReadContext& context, std::size_t from, std::size_t until, CellSink& sink);

} // namespace veltrum::workbook
