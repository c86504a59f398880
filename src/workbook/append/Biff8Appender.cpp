#include "workbook/append/Biff8Appender.h"

#include "workbook/Workbook.h"
#include "workbook/append/AppendRows.h"
#include "workbook/append/CellFormats.h"
#include "workbook/append/RowBlocks.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/Refusals.h"
#include "workbook/biff/SharedStrings.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

const SheetInfo& findSheet(const BiffLayout& layout, std::string_view name, const std::string& file) {
    for (const SheetInfo& sheet : layout.sheets) {
        if (sheet.name == name)
            return sheet;
    }
    for (const SheetInfo& sheet : layout.sheets) {
        if (sameIgnoringAsciiCase(sheet.name, name))
            return sheet;
    }
    std::vector<std::string> names;
    for (const SheetInfo& sheet : layout.sheets)
        names.push_back(sheet.name);
    refuseNoSuchSheet(file, name, names);
}

void copyRecord(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> stream, const RecordRef& ref) {
    out.insert(out.end(), stream.begin() + ref.offset, stream.begin() + ref.end());
}

void emitRecord(std::vector<std::uint8_t>& out, std::uint16_t type, const std::vector<std::uint8_t>& body) {
    append16(out, type);
    append16(out, static_cast<std::uint16_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

} // namespace

std::vector<std::uint8_t> appendToWorkbookStream(std::span<const std::uint8_t> stream,
                                                 const std::string& file, std::string_view sheetName,
                                                 const std::vector<AppendRow>& rows) {
    const BiffLayout layout = BiffLayout::parse(stream, file);
    if (layout.encrypted)
        refuseEncrypted(file);
    const SheetInfo& sheet = findSheet(layout, sheetName, file);
    if (sheet.kind != WorksheetSubstream)
        refuseNotWorksheet(file, sheet.name);
    if (sheet.eof >= layout.records.size())
        refuseDamaged(file, "a sheet's records end without an end-of-file record", sheet.name);
    SharedStrings strings;
    try {
        strings = SharedStrings::parse(layout.globals.sharedStrings);
    } catch (const BiffError& error) {
        refuseDamaged(file, error.what());
    }
    const SheetScan scan = scanSheet(stream, layout, sheet, strings);
    if (scan.dimensions == SIZE_MAX || layout.records[scan.dimensions].size < 14)
        refuseDamaged(file, "the sheet has no record of its extent", sheet.name);

    CellFormats formats(stream, layout);
    PreparedAppend plan = prepareRows(rows, scan, formats, strings, layout.date1904, file, sheet.name);
    if (plan.rows.empty())
        return {stream.begin(), stream.end()};

    // The end of the cell table is rewritten from the first block that reaches the new rows' 32-row
    // group (or holds ROW records for rows being written); earlier blocks are copied untouched.
    const int firstNew = plan.rows.front().row;
    std::size_t tailStart = scan.tableStart == SIZE_MAX ? scan.dimensions + 1 : scan.tableEnd;
    std::size_t oldDbCellsInTail = 0;
    for (std::size_t b = 0; b < scan.blocks.size(); ++b) {
        if (scan.blockRows[b].second >= 0 && scan.blockRows[b].second / 32 >= firstNew / 32) {
            tailStart = scan.blocks[b].first;
            break;
        }
    }
    std::vector<std::size_t> tail;
    const std::size_t tailEnd = scan.tableStart == SIZE_MAX ? tailStart : std::max(tailStart, scan.tableEnd);
    for (std::size_t i = tailStart; i < tailEnd; ++i) {
        tail.push_back(i);
        oldDbCellsInTail += layout.records[i].type == record::DbCell;
    }
    const bool regenerateStrings = strings.changed() || !plan.newFormats.empty();

    const auto& records = layout.records;
    auto sheetOf = [&](std::size_t i) {
        for (std::size_t s = 0; s < layout.sheets.size(); ++s) {
            if (i >= layout.sheets[s].bof && i <= layout.sheets[s].eof)
                return static_cast<int>(s);
        }
        return -1;
    };
    std::vector<std::size_t> dbCells(layout.sheets.size(), 0);
    for (std::size_t s = 0; s < layout.sheets.size(); ++s) {
        for (std::size_t i = layout.sheets[s].bof; i <= layout.sheets[s].eof && i < records.size(); ++i)
            dbCells[s] += records[i].depth == 1 && records[i].type == record::DbCell;
    }
    const auto target = static_cast<std::size_t>(&sheet - layout.sheets.data());
    dbCells[target] = dbCells[target] - oldDbCellsInTail + tailBlockCount(stream, layout, tail, plan.rows);

    std::vector<std::uint8_t> out;
    out.reserve(stream.size() + plan.rows.size() * 64 + 16384);
    std::vector<std::uint32_t> newPos(records.size(), 0);
    std::vector<std::vector<std::uint32_t>> dbPositions(layout.sheets.size());
    std::vector<std::uint32_t> indexSlot(layout.sheets.size(), UINT32_MAX);
    std::vector<std::uint32_t> defColWidthPos(layout.sheets.size(), UINT32_MAX);
    const RowTemplate rowTemplate = rowTemplateFor(stream, layout, scan);

    // Untouched records are copied in runs: `pending` is where the current run starts in the old stream.
    std::uint32_t pending = UINT32_MAX;
    auto flush = [&](std::uint32_t upTo) {
        if (pending != UINT32_MAX)
            out.insert(out.end(), stream.begin() + pending, stream.begin() + upTo);
        pending = UINT32_MAX;
    };
    bool inserted = false;
    for (std::size_t i = 0; i < records.size();) {
        const RecordRef& ref = records[i];
        const bool special =
            (i == tailStart && !inserted) || i == scan.dimensions ||
            (regenerateStrings && (i == layout.extSst || (!layout.sst.empty() && i == layout.sst.front()) ||
                                   (layout.sst.empty() && i == layout.globalsEof))) ||
            (ref.depth == 1 &&
             (ref.type == record::Index || ref.type == record::DbCell || ref.type == record::DefColWidth)) ||
            (!layout.xfs.empty() && i == layout.xfs.back());
        if (!special) {
            if (pending == UINT32_MAX)
                pending = ref.offset;
            newPos[i] = static_cast<std::uint32_t>(out.size() + (ref.offset - pending));
            ++i;
            continue;
        }
        flush(ref.offset);
        const int s = sheetOf(i);
        if (i == tailStart && !inserted) {
            inserted = true;
            for (std::size_t k : tail)
                newPos[k] = static_cast<std::uint32_t>(out.size());
            for (std::uint32_t position : emitTail(out, stream, layout, tail, plan.rows, rowTemplate))
                dbPositions[target].push_back(position);
            i = tailEnd;
            continue;
        }
        newPos[i] = static_cast<std::uint32_t>(out.size());
        if (regenerateStrings && !layout.sst.empty() && i == layout.sst.front()) {
            const auto table = strings.serialize(static_cast<std::uint32_t>(out.size()));
            out.insert(out.end(), table.begin(), table.end());
            for (std::size_t k : layout.sst)
                newPos[k] = newPos[i];
            i = layout.sst.back() + 1;
            continue;
        }
        if (regenerateStrings && i == layout.extSst) {
            ++i;
            continue;
        }
        if (regenerateStrings && layout.sst.empty() && strings.changed() && i == layout.globalsEof) {
            const auto table = strings.serialize(static_cast<std::uint32_t>(out.size()));
            out.insert(out.end(), table.begin(), table.end());
            newPos[i] = static_cast<std::uint32_t>(out.size());
        }
        if (s >= 0 && ref.depth == 1 && ref.type == record::Index && indexSlot[s] == UINT32_MAX) {
            indexSlot[s] = static_cast<std::uint32_t>(out.size());
            std::vector<std::uint8_t> body(16 + 4 * dbCells[s], 0);
            std::copy_n(stream.begin() + ref.body(), std::min<std::size_t>(16, ref.size), body.begin());
            emitRecord(out, record::Index, body);
            ++i;
            continue;
        }
        if (i == scan.dimensions) {
            emitRecord(out, record::Dimensions, widenedDimensions(stream, ref, plan));
            ++i;
            continue;
        }
        if (s >= 0 && ref.depth == 1 && ref.type == record::DbCell)
            dbPositions[s].push_back(newPos[i]);
        if (s >= 0 && ref.depth == 1 && ref.type == record::DefColWidth)
            defColWidthPos[s] = newPos[i];
        copyRecord(out, stream, ref);
        if (!layout.xfs.empty() && i == layout.xfs.back()) {
            for (const auto& body : plan.newFormats)
                emitRecord(out, record::Xf, body);
        }
        ++i;
    }
    if (pending != UINT32_MAX)
        flush(records.back().end());
    out.insert(out.end(), stream.begin() + layout.trailingOffset, stream.end());

    for (std::size_t s = 0; s < layout.sheets.size(); ++s) {
        const SheetInfo& info = layout.sheets[s];
        put32(out, newPos[info.boundSheet] + 4, newPos[info.bof]);
        if (indexSlot[s] == UINT32_MAX)
            continue;
        if (dbPositions[s].size() != dbCells[s])
            refuseDamaged(file, "the row blocks do not add up", info.name);
        const std::size_t body = indexSlot[s] + 4;
        if (s == target) {
            put32(
                out, body + 4,
                static_cast<std::uint32_t>(std::min(scan.firstRow < 0 ? firstNew : scan.firstRow, firstNew)));
            put32(out, body + 8,
                  static_cast<std::uint32_t>(std::max(scan.lastRow, plan.rows.back().row) + 1));
        }
        if (defColWidthPos[s] != UINT32_MAX)
            put32(out, body + 12, defColWidthPos[s]);
        for (std::size_t k = 0; k < dbPositions[s].size(); ++k)
            put32(out, body + 16 + 4 * k, dbPositions[s][k]);
    }
    return out;
}

} // namespace veltrum::workbook
