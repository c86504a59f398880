// Writing BIFF8 records: every record header the library writes comes from here, and so do the cell
// records of new rows and the CONTINUE records that carry the rest of a record too long for one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrum::workbook {

// The most a record's body may hold; the rest goes into CONTINUE records.
constexpr std::size_t kMaxRecordBody = 8224;

// Bytes 6..15 of a ROW record body: height, flags and default format.
using RowTemplate = std::array<std::uint8_t, 10>;

// A record header: type and body size.
void writeRecordHeader(std::vector<std::uint8_t>& out, std::uint16_t type, std::size_t bodySize);
// A whole record.
void writeRecord(std::vector<std::uint8_t>& out, std::uint16_t type, std::span<const std::uint8_t> body);
// A record given as its bodies: the first under `type`, each further one as a CONTINUE record. Returns
// where each record's header starts in `out`.
std::vector<std::size_t> writeContinuedRecord(std::vector<std::uint8_t>& out, std::uint16_t type,
                                              std::span<const std::span<const std::uint8_t>> bodies);

// ROW: the row's number, the columns its cells span [first, end), and its height, flags and format.
void writeRow(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t firstColumn,
              std::uint16_t endColumn, const RowTemplate& format);
// Cell records: NUMBER (a double), LABELSST (a shared string's index), LABEL (the text in the record,
// one byte per character when every character fits, else UTF-16).
void writeNumber(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                 double value);
void writeLabelSst(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                   std::uint32_t index);
void writeLabel(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                std::u16string_view text);
// DBCELL: the distance back to the block's first ROW record, then each row's step to its first cell.
void writeDbCell(std::vector<std::uint8_t>& out, std::uint32_t backToFirstRow,
                 std::span<const std::uint16_t> cellSteps);

// Adds a string (count, option byte, characters) to the bodies of a record continued in CONTINUE
// records, starting a new body where the last is full. A string that fits in a fresh body is never
// split; a longer one is, keeping its header with at least one character, a surrogate pair within one
// body, and starting each CONTINUE it runs into with its own option byte. Returns where the string
// starts: body and offset in it.
std::pair<std::uint32_t, std::uint32_t> appendContinuedString(std::vector<std::vector<std::uint8_t>>& bodies,
                                                              std::u16string_view text);

} // namespace veltrum::workbook
