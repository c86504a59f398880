#include "workbook/WorksheetReader.h"

#include "workbook/BiffRecords.h"
#include "workbook/BiffStrings.h"
#include "workbook/LittleEndian.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <string>

namespace veltrum::workbook {

namespace {

constexpr std::size_t MaxColumns = 256;
// Days from 1899-12-30 to 1904-01-01, the start of the other date system.
constexpr double Date1904Offset = 1462.0;

struct Position {
    std::uint16_t row;
    std::uint16_t column;
};

// The last column of each row, found in a first walk so that all cells fit one allocation.
struct RowExtents {
    std::vector<std::uint16_t> widths;

    void cover(std::uint16_t row, std::size_t lastColumn) {
        if (lastColumn >= MaxColumns)
            throw BiffError("a cell lies beyond the last column a sheet can have");
        if (row >= widths.size())
            widths.resize(std::size_t{row} + 1, 0);
        widths[row] = std::max<std::uint16_t>(widths[row], static_cast<std::uint16_t>(lastColumn + 1));
    }
};

class SheetBuilder {
public:
    SheetBuilder(const WorkbookGlobals& globals, const RowExtents& extents)
        : m_globals(globals) {
        m_cells.rowStarts.reserve(extents.widths.size() + 1);
        std::size_t total = 0;
        for (std::uint16_t width : extents.widths) {
            m_cells.rowStarts.push_back(total);
            total += width;
            m_cells.columnCount = std::max<int>(m_cells.columnCount, width);
        }
        m_cells.rowStarts.push_back(total);
        m_cells.cells.resize(total);
    }

    WorksheetCells take() { return std::move(m_cells); }

    Cell& at(std::uint16_t row, std::uint16_t column) {
        const std::vector<std::size_t>& starts = m_cells.rowStarts;
        if (std::size_t{row} + 1 >= starts.size() || starts[row] + column >= starts[std::size_t{row} + 1])
            throw BiffError("a cell record changed between two readings of the sheet");
        Cell& cell = m_cells.cells[starts[row] + column];
        cell.kind = CellKind::Empty;
        cell.number = 0.0;
        cell.text.clear();
        cell.boolean = false;
        cell.errorCode = 0;
        cell.blank = false;
        cell.fromFormula = false;
        return cell;
    }

    void number(std::uint16_t row, std::uint16_t column, std::uint16_t style, double value, bool formula) {
        Cell& cell = at(row, column);
        cell.kind = style < m_globals.styleKinds.size() ? m_globals.styleKinds[style] : CellKind::Number;
        cell.number = value;
        // Dates move to the 1900 basis; a time of day or a duration means the same in either system.
        if ((cell.kind == CellKind::Date || cell.kind == CellKind::DateTime) && m_globals.date1904)
            cell.number += Date1904Offset;
        cell.fromFormula = formula;
    }

    Cell& text(std::uint16_t row, std::uint16_t column, bool formula) {
        Cell& cell = at(row, column);
        cell.kind = CellKind::Text;
        cell.fromFormula = formula;
        return cell;
    }

    void boolOrError(std::uint16_t row, std::uint16_t column, std::uint8_t value, bool isError,
                     bool formula) {
        Cell& cell = at(row, column);
        cell.fromFormula = formula;
        if (isError) {
            cell.kind = CellKind::Error;
            cell.errorCode = value;
        } else {
            cell.kind = CellKind::Boolean;
            cell.boolean = value != 0;
        }
    }

    void blank(std::uint16_t row, std::uint16_t column) { at(row, column).blank = true; }

    const std::string& sharedString(std::uint32_t index) const {
        if (index >= m_globals.sharedStrings.size())
            throw BiffError("a cell refers to shared text number " + std::to_string(index) + " of only " +
                            std::to_string(m_globals.sharedStrings.size()));
        return m_globals.sharedStrings[index];
    }

private:
    const WorkbookGlobals& m_globals;
    WorksheetCells m_cells;
};

void noteExtent(const BiffRecord& record, RowExtents& extents) {
    const std::span<const std::uint8_t> d = record.data;
    if (d.size() < 4)
        return;
    const std::uint16_t row = readU16(d.data());
    const std::size_t first = readU16(d.data() + 2);
    switch (record.type) {
    case RecordType::Number:
    case RecordType::Rk:
    case RecordType::LabelSst:
    case RecordType::Label:
    case RecordType::RString:
    case RecordType::BoolErr:
    case RecordType::Blank:
    case RecordType::Formula:
        extents.cover(row, first);
        break;
    case RecordType::MulRk:
        if (d.size() >= 12)
            extents.cover(row, first + (d.size() - 6) / 6 - 1);
        break;
    case RecordType::MulBlank:
        if (d.size() >= 8)
            extents.cover(row, first + (d.size() - 6) / 2 - 1);
        break;
    default:
        break;
    }
}

// Calls `visit` for every record of the sheet's own level, skipping embedded chart substreams.
template <typename Visit>
void walkSheet(std::span<const std::uint8_t> stream, std::size_t offset, Visit&& visit) {
    BiffRecordCursor cursor(stream, offset);
    if (cursor.atEnd() || cursor.next().type != RecordType::Bof)
        throw BiffError("a sheet does not start where the sheet list says");
    int nested = 0;
    for (;;) {
        if (cursor.atEnd())
            throw BiffError("a sheet's records end without an end-of-file record");
        const BiffRecord record = cursor.next();
        if (record.type == RecordType::Bof) {
            ++nested;
        } else if (record.type == RecordType::Eof) {
            if (nested == 0)
                return;
            --nested;
        } else if (nested == 0) {
            visit(record, cursor);
        }
    }
}

void need(const BiffRecord& record, std::size_t bytes) {
    if (record.data.size() < bytes)
        throw BiffError("a cell record at offset " + std::to_string(record.offset) + " is cut short");
}

std::string readRecordString(const BiffRecord& record, std::size_t offset, BiffRecordCursor* continues) {
    std::vector<std::span<const std::uint8_t>> pieces{record.data};
    if (continues)
        continues->takeContinues(pieces);
    PieceReader reader(pieces, offset);
    return readBiffString(reader);
}

// Returns the cell whose text a following STRING record supplies, when the formula left one.
std::optional<Position> readFormula(const BiffRecord& record, SheetBuilder& sheet) {
    need(record, 14);
    const std::uint8_t* d = record.data.data();
    const std::uint16_t row = readU16(d);
    const std::uint16_t column = readU16(d + 2);
    const std::uint8_t* result = d + 6;
    if (readU16(result + 6) != 0xFFFF) {
        sheet.number(row, column, readU16(d + 4), readDouble(result), true);
        return std::nullopt;
    }
    switch (result[0]) {
    case 0:
        sheet.text(row, column, true);
        return Position{row, column};
    case 1:
        sheet.boolOrError(row, column, result[2], false, true);
        break;
    case 2:
        sheet.boolOrError(row, column, result[2], true, true);
        break;
    case 3:
        sheet.text(row, column, true);
        break;
    default:
        throw BiffError("a formula at offset " + std::to_string(record.offset) +
                        " has an unknown result type");
    }
    return std::nullopt;
}

// Returns false for records that are not cells.
bool readCell(const BiffRecord& record, SheetBuilder& sheet) {
    const std::uint8_t* d = record.data.data();
    switch (record.type) {
    case RecordType::Number:
        need(record, 14);
        sheet.number(readU16(d), readU16(d + 2), readU16(d + 4), readDouble(d + 6), false);
        break;
    case RecordType::Rk:
        need(record, 10);
        sheet.number(readU16(d), readU16(d + 2), readU16(d + 4), decodeRk(readU32(d + 6)), false);
        break;
    case RecordType::MulRk: {
        need(record, 6);
        const std::uint16_t row = readU16(d);
        const std::uint16_t first = readU16(d + 2);
        const std::size_t count = (record.data.size() - 6) / 6;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* item = d + 4 + 6 * i;
            sheet.number(row, static_cast<std::uint16_t>(std::min<std::size_t>(first + i, 0xFFFF)),
                         readU16(item), decodeRk(readU32(item + 2)), false);
        }
        break;
    }
    case RecordType::LabelSst:
        need(record, 10);
        sheet.text(readU16(d), readU16(d + 2), false).text = sheet.sharedString(readU32(d + 6));
        break;
    case RecordType::Label:
    case RecordType::RString:
        need(record, 8);
        sheet.text(readU16(d), readU16(d + 2), false).text = readRecordString(record, 6, nullptr);
        break;
    case RecordType::BoolErr:
        need(record, 8);
        sheet.boolOrError(readU16(d), readU16(d + 2), d[6], d[7] != 0, false);
        break;
    case RecordType::Blank:
        need(record, 6);
        sheet.blank(readU16(d), readU16(d + 2));
        break;
    case RecordType::MulBlank: {
        need(record, 6);
        const std::uint16_t row = readU16(d);
        const std::uint16_t first = readU16(d + 2);
        const std::size_t count = (record.data.size() - 6) / 2;
        for (std::size_t i = 0; i < count; ++i)
            sheet.blank(row, static_cast<std::uint16_t>(std::min<std::size_t>(first + i, 0xFFFF)));
        break;
    }
    default:
        return false;
    }
    return true;
}

} // namespace

double decodeRk(std::uint32_t rk) {
    double value = 0.0;
    if (rk & 0x02)
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    else
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    return (rk & 0x01) ? value / 100.0 : value;
}

WorksheetCells readWorksheetCells(std::span<const std::uint8_t> stream, std::size_t offset,
                                  const WorkbookGlobals& globals) {
    RowExtents extents;
    walkSheet(stream, offset,
              [&extents](const BiffRecord& record, BiffRecordCursor&) { noteExtent(record, extents); });
    SheetBuilder sheet(globals, extents);
    std::optional<Position> pendingString;
    walkSheet(stream, offset, [&](const BiffRecord& record, BiffRecordCursor& cursor) {
        switch (record.type) {
        case RecordType::Formula:
            pendingString = readFormula(record, sheet);
            break;
        case RecordType::String:
            if (pendingString) {
                sheet.text(pendingString->row, pendingString->column, true).text =
                    readRecordString(record, 0, &cursor);
                pendingString.reset();
            }
            break;
        case RecordType::SharedFormula:
        case RecordType::Array:
        case RecordType::Continue:
            break;
        default:
            if (readCell(record, sheet))
                pendingString.reset();
            break;
        }
    });
    return sheet.take();
}

} // namespace veltrum::workbook
