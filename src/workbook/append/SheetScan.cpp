#include "workbook/append/SheetScan.h"

#include "workbook/biff/Strings.h"

#include <algorithm>

namespace veltrum::workbook {

bool isFormulaCompanion(std::uint16_t type) {
    return type == record::String || type == record::ShrFmla || type == record::Array ||
           type == record::Table;
}

namespace {

bool inCellTable(std::uint16_t type) {
    return type == record::Row || type == record::DbCell || isCellRecord(type) || isFormulaCompanion(type);
}

// The text of a header cell: shared, inline or formula-result strings.
std::string headerText(std::span<const std::uint8_t> stream, const std::vector<RecordRef>& records,
                       std::size_t i, const SharedStrings& strings) {
    const RecordRef& ref = records[i];
    // A header cell cut short reads as no name rather than stopping the append.
    auto inlineString = [&](const RecordRef& r, std::size_t at) -> std::string {
        try {
            return readBiffString(stream.subspan(r.body(), r.size), at);
        } catch (const BiffError&) {
            return {};
        }
    };
    switch (ref.type) {
    case record::LabelSst:
        return ref.size >= 10 ? strings.text(get32(stream, ref.body() + 6)) : std::string();
    case record::Label:
    case record::RString:
        return inlineString(ref, 6);
    case record::Formula:
        if (i + 1 < records.size() && records[i + 1].type == record::String)
            return inlineString(records[i + 1], 0);
        return {};
    default:
        return {};
    }
}

} // namespace

std::optional<std::uint16_t> SheetScan::columnXf(std::uint16_t column) const {
    for (std::size_t k = 0; k < colInfo.size(); ++k) {
        if (column >= colInfo[k].first && column <= colInfo[k].second)
            return colInfoXf[k];
    }
    return std::nullopt;
}

namespace {

// Cell records of interest, by record index: the header row's and the last cell row's.
struct RowCells {
    std::vector<std::size_t> header;
    std::vector<std::size_t> lastRow;
};

// Rows and the cell table's extent, from a ROW or cell record.
void noteRow(SheetScan& scan, RowCells& cells, std::size_t i, const RecordRef& ref,
             std::span<const std::uint8_t> stream) {
    const bool cellRecord = isCellRecord(ref.type);
    if ((cellRecord && ref.size >= 6) || (ref.type == record::Row && ref.size >= 16)) {
        const int row = get16(stream, ref.body());
        scan.lastRow = std::max(scan.lastRow, row);
        scan.firstRow = scan.firstRow < 0 ? row : std::min(scan.firstRow, row);
        if (cellRecord) {
            if (row > scan.lastCellRow) {
                scan.lastCellRow = row;
                cells.lastRow.clear();
            }
            if (row == scan.lastCellRow)
                cells.lastRow.push_back(i);
            if (row == 0)
                cells.header.push_back(i);
        }
    }
    if (inCellTable(ref.type)) {
        if (scan.tableStart == SIZE_MAX)
            scan.tableStart = i;
        // To the last such record: a stray record inside the table does not end it.
        scan.tableEnd = i + 1;
    }
}

// The records that hold the sheet's extent, index, column formats and row blocks.
void noteSheetRecord(SheetScan& scan, std::size_t i, const RecordRef& ref,
                     std::span<const std::uint8_t> stream) {
    switch (ref.type) {
    case record::Index:
        if (scan.index == SIZE_MAX)
            scan.index = i;
        break;
    case record::Dimensions:
        scan.dimensions = i;
        break;
    case record::DefColWidth:
        scan.defColWidth = i;
        break;
    case record::ColInfo:
        if (ref.size >= 8) {
            scan.colInfo.emplace_back(get16(stream, ref.body()), get16(stream, ref.body() + 2));
            scan.colInfoXf.push_back(get16(stream, ref.body() + 6));
        }
        break;
    case record::DbCell:
        ++scan.dbCellCount;
        break;
    case record::Row:
        if (ref.size >= 16 && scan.lastCellRow >= 0 && get16(stream, ref.body()) == scan.lastCellRow)
            scan.lastRowRecord = i;
        break;
    default:
        break;
    }
}

// A ROW record usually comes before its row's cells; look again for the last cell row's one.
void findLastRowRecord(SheetScan& scan, std::span<const std::uint8_t> stream, const BiffLayout& layout,
                       const SheetInfo& sheet) {
    const auto& records = layout.records;
    if (scan.lastRowRecord != SIZE_MAX &&
        get16(stream, records[scan.lastRowRecord].body()) == scan.lastCellRow)
        return;
    scan.lastRowRecord = SIZE_MAX;
    for (std::size_t i = sheet.eof; i-- > sheet.bof + 1;) {
        const RecordRef& ref = records[i];
        if (ref.depth == 1 && ref.type == record::Row && ref.size >= 16 &&
            get16(stream, ref.body()) == scan.lastCellRow) {
            scan.lastRowRecord = i;
            return;
        }
    }
}

// The cell table's row blocks and the rows each holds.
void splitBlocks(SheetScan& scan, std::span<const std::uint8_t> stream,
                 const std::vector<RecordRef>& records) {
    std::size_t start = scan.tableStart;
    for (std::size_t i = scan.tableStart; i < scan.tableEnd; ++i) {
        const bool rowAfterCells = records[i].type == record::Row && i > start &&
                                   records[i - 1].type != record::Row &&
                                   records[i - 1].type != record::DbCell;
        if (rowAfterCells) {
            scan.blocks.emplace_back(start, i);
            start = i;
        }
        if (records[i].type == record::DbCell) {
            scan.blocks.emplace_back(start, i + 1);
            start = i + 1;
        }
    }
    if (start < scan.tableEnd)
        scan.blocks.emplace_back(start, scan.tableEnd);
    for (const auto& [first, end] : scan.blocks) {
        std::pair<int, int> range{-1, -1};
        for (std::size_t i = first; i < end; ++i) {
            if ((records[i].type != record::Row && !isCellRecord(records[i].type)) || records[i].size < 6)
                continue;
            const int row = get16(stream, records[i].body());
            range.first = range.first < 0 ? row : std::min(range.first, row);
            range.second = std::max(range.second, row);
        }
        scan.blockRows.push_back(range);
    }
}

} // namespace

SheetScan scanSheet(std::span<const std::uint8_t> stream, const BiffLayout& layout, const SheetInfo& sheet,
                    const SharedStrings& strings) {
    SheetScan scan;
    const auto& records = layout.records;
    RowCells cells;
    for (std::size_t i = sheet.bof + 1; i < sheet.eof; ++i) {
        const RecordRef& ref = records[i];
        if (ref.depth != 1)
            continue;
        noteRow(scan, cells, i, ref, stream);
        noteSheetRecord(scan, i, ref, stream);
    }
    findLastRowRecord(scan, stream, layout, sheet);
    for (std::size_t i : cells.header) {
        CellRef cell;
        if (readCell(stream, records[i], cell) && cell.firstColumn == cell.lastColumn)
            scan.header.emplace(cell.firstColumn, headerText(stream, records, i, strings));
    }
    for (std::size_t i : cells.lastRow) {
        CellRef cell;
        if (!readCell(stream, records[i], cell))
            continue;
        for (std::uint32_t c = cell.firstColumn; c <= cell.lastColumn; ++c)
            scan.lastRowXf[static_cast<std::uint16_t>(c)] =
                cellXf(stream, records[i], static_cast<std::uint16_t>(c));
    }
    if (scan.tableStart != SIZE_MAX)
        splitBlocks(scan, stream, records);
    return scan;
}

} // namespace veltrum::workbook
