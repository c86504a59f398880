// Writing new rows as row blocks (ROW records, then cells, then a DBCELL indexing them), the way
// Excel lays out a sheet's cell table in blocks of 32 rows.
#pragma once

#include "workbook/append/AppendRows.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/RecordWriter.h"

#include <cstdint>
#include <span>
#include <vector>

namespace veltrum::workbook {

// The last data row's ROW record when there is one (so new rows look like it), else a default row.
RowTemplate rowTemplateFor(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                           const SheetScan& scan);

// Rewrites the end of a cell table: the old records of the blocks in `tail` (record indexes, in stream
// order) together with the new rows, regrouped in blocks of 32 rows, each block its ROW records, then
// its cells (old ones in their order, then new ones), then a DBCELL. A new row that already has a ROW
// record keeps it, widened to its cells. Returns the stream positions of the DBCELLs written.
std::vector<std::uint32_t> emitTail(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> stream,
                                    const BiffLayout& layout, const std::vector<std::size_t>& tail,
                                    const std::vector<NewRow>& rows, const RowTemplate& rowTemplate);

// How many blocks emitTail writes for the same input.
std::size_t tailBlockCount(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                           const std::vector<std::size_t>& tail, const std::vector<NewRow>& rows);

// The DIMENSIONS body widened to cover the new rows and columns.
std::vector<std::uint8_t> widenedDimensions(std::span<const std::uint8_t> stream, const RecordRef& ref,
                                            const PreparedAppend& plan);

} // namespace veltrum::workbook
