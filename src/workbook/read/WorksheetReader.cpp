#include "workbook/read/WorksheetReader.h"

#include "workbook/biff/DateSystem.h"
#include "workbook/biff/Records.h"
#include "workbook/biff/Strings.h"
#include "workbook/encoding/LittleEndian.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <string>

namespace veltrum::workbook {

namespace {

constexpr std::size_t MaxColumns = 256;

struct Position {
    std::uint16_t row;
    std::uint16_t column;
};

// Turns cell records into stored cells through the sink.
class Decoder {
public:
    Decoder(const ReadContext& context, CellSink& sink)
        : m_context(context)
        , m_sink(sink) {}

    StoredCell* at(std::uint16_t row, std::uint16_t column) {
        StoredCell* cell = m_sink.slot(row, column);
        if (cell)
            *cell = StoredCell{};
        return cell;
    }

    void number(std::uint16_t row, std::uint16_t column, std::uint16_t style, double value, bool formula) {
        StoredCell* cell = at(row, column);
        if (!cell)
            return;
        const std::vector<CellKind>& kinds = *m_context.styleKinds;
        const CellKind kind = style < kinds.size() ? kinds[style] : CellKind::Number;
        cell->kind = static_cast<std::uint8_t>(kind);
        cell->number = value;
        // Dates move to the 1900 basis; a time of day or a duration means the same in either system.
        if ((kind == CellKind::Date || kind == CellKind::DateTime) && m_context.date1904)
            cell->number += Days1899To1904;
        cell->flags = formula ? StoredCell::FromFormula : 0;
    }

    StoredCell* text(std::uint16_t row, std::uint16_t column, bool formula) {
        StoredCell* cell = at(row, column);
        if (cell) {
            cell->kind = static_cast<std::uint8_t>(CellKind::Text);
            cell->flags = StoredCell::OwnText | (formula ? StoredCell::FromFormula : 0);
            cell->text = m_emptyText();
        }
        return cell;
    }

    void ownText(StoredCell* cell, std::string text) {
        if (cell)
            cell->text = m_sink.addText(std::move(text));
    }

    void sharedText(std::uint16_t row, std::uint16_t column, std::uint32_t index) {
        if (index >= m_context.sharedStringCount)
            throw BiffError("a cell refers to shared text number " + std::to_string(index) + " of only " +
                            std::to_string(m_context.sharedStringCount));
        if (StoredCell* cell = at(row, column)) {
            cell->kind = static_cast<std::uint8_t>(CellKind::Text);
            cell->text = index;
        }
    }

    void boolOrError(std::uint16_t row, std::uint16_t column, std::uint8_t value, bool isError,
                     bool formula) {
        StoredCell* cell = at(row, column);
        if (!cell)
            return;
        cell->flags = formula ? StoredCell::FromFormula : 0;
        if (isError) {
            cell->kind = static_cast<std::uint8_t>(CellKind::Error);
            cell->errorCode = value;
        } else {
            cell->kind = static_cast<std::uint8_t>(CellKind::Boolean);
            if (value != 0)
                cell->flags |= StoredCell::BooleanTrue;
        }
    }

    void blank(std::uint16_t row, std::uint16_t column) {
        if (StoredCell* cell = at(row, column))
            cell->flags = StoredCell::Blank;
    }

    bool wants(std::uint16_t row, std::uint16_t column) { return m_sink.slot(row, column) != nullptr; }

private:
    // An empty own text, added once, for a formula's text cell until its STRING record comes.
    std::uint32_t m_emptyText() {
        if (m_empty == NoText)
            m_empty = m_sink.addText({});
        return m_empty;
    }

    const ReadContext& m_context;
    CellSink& m_sink;
    static constexpr std::uint32_t NoText = 0xFFFFFFFF;
    std::uint32_t m_empty = NoText;
};

void need(const BiffRecord& record, std::size_t bytes) {
    if (record.data.size() < bytes)
        throw BiffError("a cell record at offset " + std::to_string(record.offset) + " is cut short");
}

// Calls `visit` for every record of the sheet's own level from `from` on, skipping embedded chart
// substreams, until the sheet's EOF or until `visit` returns false.
template <typename Visit>
void walkSheet(std::span<const std::uint8_t> stream, std::size_t from, Visit&& visit) {
    SubstreamCursor cursor(stream, from, 1);
    for (;;) {
        if (cursor.atEnd())
            throw BiffError("a sheet's records end without an end-of-file record");
        const BiffRecord record = cursor.next();
        if (cursor.depth() != 1)
            continue;
        if (record.type == record::Eof || !visit(record, cursor.records()))
            return;
    }
}

std::string readRecordString(const BiffRecord& record, std::size_t offset, RecordCursor* continues) {
    std::vector<std::span<const std::uint8_t>> pieces{record.data};
    if (continues)
        continues->takeContinues(pieces);
    PieceReader reader(pieces, offset);
    return readBiffString(reader);
}

// Returns the cell whose text a following STRING record supplies, when the formula left one.
std::optional<Position> readFormula(const BiffRecord& record, Decoder& sheet) {
    need(record, 14);
    const std::uint8_t* d = record.data.data();
    const std::uint16_t row = get16(d);
    const std::uint16_t column = get16(d + 2);
    const std::uint8_t* result = d + 6;
    if (get16(result + 6) != 0xFFFF) {
        sheet.number(row, column, get16(d + 4), getDouble(result), true);
        return std::nullopt;
    }
    switch (result[0]) {
    case 0:
        if (!sheet.text(row, column, true))
            return std::nullopt;
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
bool readCell(const BiffRecord& record, Decoder& sheet) {
    const std::uint8_t* d = record.data.data();
    switch (record.type) {
    case record::Number:
        need(record, 14);
        sheet.number(get16(d), get16(d + 2), get16(d + 4), getDouble(d + 6), false);
        break;
    case record::Rk:
        need(record, 10);
        sheet.number(get16(d), get16(d + 2), get16(d + 4), decodeRk(get32(d + 6)), false);
        break;
    case record::MulRk: {
        need(record, 6);
        const std::uint16_t row = get16(d);
        const std::uint16_t first = get16(d + 2);
        const std::size_t count = (record.data.size() - 6) / 6;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* item = d + 4 + 6 * i;
            sheet.number(row, static_cast<std::uint16_t>(std::min<std::size_t>(first + i, 0xFFFF)),
                         get16(item), decodeRk(get32(item + 2)), false);
        }
        break;
    }
    case record::LabelSst:
        need(record, 10);
        sheet.sharedText(get16(d), get16(d + 2), get32(d + 6));
        break;
    case record::Label:
    case record::RString:
        need(record, 8);
        if (StoredCell* cell = sheet.text(get16(d), get16(d + 2), false))
            sheet.ownText(cell, readRecordString(record, 6, nullptr));
        break;
    case record::BoolErr:
        need(record, 8);
        sheet.boolOrError(get16(d), get16(d + 2), d[6], d[7] != 0, false);
        break;
    case record::Blank:
        need(record, 6);
        sheet.blank(get16(d), get16(d + 2));
        break;
    case record::MulBlank: {
        need(record, 6);
        const std::uint16_t row = get16(d);
        const std::uint16_t first = get16(d + 2);
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

int SheetExtent::columnCount() const {
    int count = 0;
    for (std::uint16_t width : widths)
        count = std::max<int>(count, width);
    return count;
}

double decodeRk(std::uint32_t rk) {
    double value = 0.0;
    if (rk & 0x02)
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    else
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    return (rk & 0x01) ? value / 100.0 : value;
}

SheetExtent measureWorksheet(const ReadContext& context, std::size_t offset) {
    RecordCursor start(context.stream, offset);
    if (start.atEnd() || start.next().type != record::Bof)
        throw BiffError("a sheet does not start where the sheet list says");
    SheetExtent extent;
    walkSheet(context.stream, start.position(), [&extent](const BiffRecord& record, RecordCursor&) {
        const std::optional<CellPlace> place = cellPlace(record.type, record.data);
        if (!place)
            return true;
        if (place->lastColumn >= MaxColumns)
            throw BiffError("a cell lies beyond the last column a sheet can have");
        const std::uint16_t row = place->row;
        if (row >= extent.widths.size())
            extent.widths.resize(std::size_t{row} + 1, 0);
        extent.widths[row] =
            std::max<std::uint16_t>(extent.widths[row], static_cast<std::uint16_t>(place->lastColumn + 1));
        const std::size_t block = row / RowsPerBlock;
        if (block >= extent.blockSpans.size())
            extent.blockSpans.resize(block + 1, {0, 0});
        auto& span = extent.blockSpans[block];
        if (span.second == 0)
            span.first = record.offset;
        span.first = std::min(span.first, record.offset);
        span.second = std::max(span.second, record.offset);
        return true;
    });
    extent.rowCount = static_cast<int>(extent.widths.size());
    return extent;
}

void readWorksheetCells(const ReadContext& context, std::size_t from, std::size_t until, CellSink& sink) {
    Decoder sheet(context, sink);
    std::optional<Position> pendingString;
    RecordCursor start(context.stream, from);
    if (!start.atEnd() && start.peekType() == record::Bof)
        start.next();
    walkSheet(context.stream, start.position(), [&](const BiffRecord& record, RecordCursor& cursor) {
        // Past the last wanted record only a formula's STRING can still belong to it.
        if (record.offset > until && (!pendingString || record.type != record::String))
            return isCellRecord(record.type) || record.type == record::String ? false : true;
        switch (record.type) {
        case record::Formula:
            pendingString = readFormula(record, sheet);
            break;
        case record::String:
            if (pendingString) {
                StoredCell* cell = sheet.text(pendingString->row, pendingString->column, true);
                sheet.ownText(cell, readRecordString(record, 0, &cursor));
                pendingString.reset();
            }
            break;
        case record::ShrFmla:
        case record::Array:
        case record::Continue:
            break;
        default:
            if (readCell(record, sheet))
                pendingString.reset();
            break;
        }
        return true;
    });
}

} // namespace veltrum::workbook
