// Checks the structures of an Excel 97-2003 workbook that hold positions, extents and counts, and the
// sector bookkeeping of its compound file; used after appending, by the tests and by the fuzz target.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrum::workbook {

// Every problem found, in words (empty when the workbook is sound): sheet positions that miss their
// BOF, INDEX entries that miss a DBCELL, DBCELL offsets that miss ROW and cell records, cells outside
// DIMENSIONS, shared string counts or EXTSST entries that disagree with the table, and compound file
// sectors used twice or by nothing.
std::vector<std::string> checkWorkbookStructure(std::span<const std::uint8_t> file);

// The compound file part alone.
std::vector<std::string> checkCompoundSectors(std::span<const std::uint8_t> file);

} // namespace veltrum::workbook
