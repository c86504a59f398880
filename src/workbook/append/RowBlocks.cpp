#include "workbook/append/RowBlocks.h"

#include "workbook/biff/RecordWriter.h"

#include <algorithm>
#include <map>

namespace veltrum::workbook {

RowTemplate rowTemplateFor(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                           const SheetScan& scan) {
    // Default height (255 twips), no outline, and the "always set" flag bit with the default format 15.
    RowTemplate result{0xFF, 0x00, 0, 0, 0, 0, 0x00, 0x01, 0x0F, 0x00};
    if (scan.lastCellRow >= 1 && scan.lastRowRecord != SIZE_MAX) {
        const RecordRef& ref = layout.records[scan.lastRowRecord];
        std::copy_n(stream.begin() + ref.body() + 6, 10, result.begin());
    }
    return result;
}

namespace {

struct TailRow {
    std::size_t rowRecord = SIZE_MAX;
    std::vector<std::size_t> cells; // cell records and the records that belong to them, in order
    const NewRow* added = nullptr;
};

std::map<int, TailRow> collectTail(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                                   const std::vector<std::size_t>& tail, const std::vector<NewRow>& rows) {
    std::map<int, TailRow> byRow;
    int current = -1;
    for (std::size_t i : tail) {
        const RecordRef& ref = layout.records[i];
        CellRef cell;
        if (ref.type == record::DbCell)
            continue;
        if (ref.type == record::Row) {
            byRow[get16(stream, ref.body())].rowRecord = i;
        } else if (readCell(stream, ref, cell)) {
            current = cell.row;
            byRow[current].cells.push_back(i);
        } else if (current >= 0) {
            byRow[current].cells.push_back(i); // a formula's STRING, SHRFMLA, ARRAY or TABLE stays after it
        } else {
            byRow[-1].cells.push_back(i);
        }
    }
    for (const NewRow& row : rows)
        byRow[row.row].added = &row;
    return byRow;
}

} // namespace

std::size_t tailBlockCount(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                           const std::vector<std::size_t>& tail, const std::vector<NewRow>& rows) {
    // A group gets a DBCELL when it has at least one ROW record to point back at.
    std::size_t blocks = 0;
    int counted = -1;
    for (const auto& [row, entry] : collectTail(stream, layout, tail, rows)) {
        const int group = std::max(row, 0) / 32;
        if ((entry.rowRecord != SIZE_MAX || entry.added) && group != counted) {
            counted = group;
            ++blocks;
        }
    }
    return blocks;
}

namespace {

using TailRows = std::map<int, TailRow>;

// Writes a group's ROW records: old ones copied (widened to a new row's cells), new ones from the
// template. Returns the rows in the order of their ROW records.
std::vector<int> writeGroupRows(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> stream,
                                const BiffLayout& layout, TailRows::const_iterator from,
                                TailRows::const_iterator to, const RowTemplate& rowTemplate) {
    std::vector<int> rowOrder;
    for (auto it = from; it != to; ++it) {
        const auto& [row, entry] = *it;
        if (entry.rowRecord == SIZE_MAX && !entry.added)
            continue;
        rowOrder.push_back(row);
        const std::size_t at = out.size();
        if (entry.rowRecord != SIZE_MAX) {
            const RecordRef& ref = layout.records[entry.rowRecord];
            out.insert(out.end(), stream.begin() + ref.offset, stream.begin() + ref.end());
        } else {
            writeRow(out, static_cast<std::uint16_t>(row), 0, 0, rowTemplate);
        }
        if (entry.added) {
            const std::uint16_t first = entry.added->cells.front().column;
            const auto end = static_cast<std::uint16_t>(entry.added->cells.back().column + 1);
            const bool had = entry.rowRecord != SIZE_MAX && get16(out, at + 8) > get16(out, at + 6);
            put16(out, at + 6, had ? std::min(get16(out, at + 6), first) : first);
            put16(out, at + 8, had ? std::max(get16(out, at + 8), end) : end);
        }
    }
    return rowOrder;
}

// Writes a group's cells, old ones in their order and then new ones, row by row. Returns where each
// row's first cell lies in `out`.
std::map<int, std::uint32_t> writeGroupCells(std::vector<std::uint8_t>& out,
                                             std::span<const std::uint8_t> stream, const BiffLayout& layout,
                                             TailRows::const_iterator from, TailRows::const_iterator to) {
    std::map<int, std::uint32_t> firstCell;
    for (auto it = from; it != to; ++it) {
        const auto& [row, entry] = *it;
        for (std::size_t i : entry.cells) {
            const RecordRef& ref = layout.records[i];
            CellRef cell;
            if (readCell(stream, ref, cell))
                firstCell.emplace(row, static_cast<std::uint32_t>(out.size()));
            out.insert(out.end(), stream.begin() + ref.offset, stream.begin() + ref.end());
        }
        if (!entry.added)
            continue;
        firstCell.emplace(row, static_cast<std::uint32_t>(out.size()));
        for (const NewCell& cell : entry.added->cells)
            writeNewCell(out, row, cell);
    }
    return firstCell;
}

} // namespace

std::vector<std::uint32_t> emitTail(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> stream,
                                    const BiffLayout& layout, const std::vector<std::size_t>& tail,
                                    const std::vector<NewRow>& rows, const RowTemplate& rowTemplate) {
    const TailRows byRow = collectTail(stream, layout, tail, rows);
    std::vector<std::uint32_t> dbCells;
    for (auto groupStart = byRow.begin(); groupStart != byRow.end();) {
        const int group = std::max(groupStart->first, 0) / 32;
        auto groupEnd = groupStart;
        while (groupEnd != byRow.end() && std::max(groupEnd->first, 0) / 32 == group)
            ++groupEnd;
        const auto firstRowPos = static_cast<std::uint32_t>(out.size());
        const std::vector<int> rowOrder =
            writeGroupRows(out, stream, layout, groupStart, groupEnd, rowTemplate);
        const std::map<int, std::uint32_t> firstCell =
            writeGroupCells(out, stream, layout, groupStart, groupEnd);
        groupStart = groupEnd;
        if (rowOrder.empty())
            continue;
        // DBCELL: back to the first ROW record, then each row's first cell counted from the previous
        // one (the first from the end of the first ROW record); a row without cells gets 0.
        const auto dbCell = static_cast<std::uint32_t>(out.size());
        std::vector<std::uint16_t> steps;
        std::uint32_t reference = firstRowPos + 20;
        for (int row : rowOrder) {
            const auto found = firstCell.find(row);
            if (found == firstCell.end()) {
                steps.push_back(0);
                continue;
            }
            steps.push_back(static_cast<std::uint16_t>(found->second - reference));
            reference = found->second;
        }
        writeDbCell(out, dbCell - firstRowPos, steps);
        dbCells.push_back(dbCell);
    }
    return dbCells;
}

std::vector<std::uint8_t> widenedDimensions(std::span<const std::uint8_t> stream, const RecordRef& ref,
                                            const PreparedAppend& plan) {
    std::vector<std::uint8_t> body(stream.begin() + ref.body(), stream.begin() + ref.end());
    std::uint32_t firstRow = get32(body, 0);
    std::uint32_t endRow = get32(body, 4);
    std::uint16_t firstColumn = get16(body, 8);
    std::uint16_t endColumn = get16(body, 10);
    const auto newFirst = static_cast<std::uint32_t>(plan.rows.front().row);
    const auto newEnd = static_cast<std::uint32_t>(plan.rows.back().row + 1);
    if (endRow <= firstRow || endColumn <= firstColumn) {
        firstRow = newFirst;
        endRow = newEnd;
        firstColumn = plan.minColumn;
        endColumn = static_cast<std::uint16_t>(plan.maxColumn + 1);
    } else {
        firstRow = std::min(firstRow, newFirst);
        endRow = std::max(endRow, newEnd);
        firstColumn = std::min(firstColumn, plan.minColumn);
        endColumn = std::max<std::uint16_t>(endColumn, static_cast<std::uint16_t>(plan.maxColumn + 1));
    }
    put32(body, 0, firstRow);
    put32(body, 4, endRow);
    put16(body, 8, firstColumn);
    put16(body, 10, endColumn);
    return body;
}

} // namespace veltrum::workbook
