#include "workbook/inplace/InPlaceAppend.h"

#include "platform/SafeFile.h"
#include "workbook/WorkbookError.h"
#include "workbook/append/AppendRows.h"
#include "workbook/append/CellFormats.h"
#include "workbook/append/RowBlocks.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/RecordWriter.h"
#include "workbook/biff/Refusals.h"
#include "workbook/biff/SharedStrings.h"
#include "workbook/encoding/Unicode.h"
#include "workbook/inplace/FilePatch.h"
#include "workbook/inplace/SheetTail.h"
#include "workbook/inplace/StreamGrowth.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace veltrum::workbook {

namespace {

constexpr std::size_t kMaxLabelLength = 255;

// The new rows' records: each ROW, then its cells; texts the shared string table holds as LABELSST, others
// as LABEL. Counts the LABELSST cells in `sharedReferences`; false when a text cannot go in a LABEL.
bool writeNewRows(std::vector<std::uint8_t>& out, const PreparedAppend& plan, const SharedStrings& strings,
                  std::uint32_t knownStrings, const RowTemplate& rowTemplate,
                  std::uint32_t& sharedReferences) {
    for (const NewRow& row : plan.rows) {
        const auto number = static_cast<std::uint16_t>(row.row);
        writeRow(out, number, row.cells.front().column,
                 static_cast<std::uint16_t>(row.cells.back().column + 1), rowTemplate);
        for (const NewCell& cell : row.cells) {
            if (!cell.isText || cell.sst < knownStrings) {
                writeNewCell(out, row.row, cell);
                sharedReferences += cell.isText ? 1 : 0;
                continue;
            }
            const std::u16string text = utf16FromUtf8(strings.text(cell.sst));
            if (text.empty() || text.size() > kMaxLabelLength)
                return false;
            writeLabel(out, number, cell.column, cell.xf, text);
        }
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> layOutForAppending(std::vector<std::uint8_t> stream, const std::string& file,
                                             std::string_view sheetName) {
    const BiffLayout layout = BiffLayout::parse(stream, file);
    if (layout.encrypted || layout.sheets.empty())
        return stream;
    const SheetInfo& sheet = layout.sheets.back();
    if (sheet.name != sheetName || sheet.kind != WorksheetSubstream || sheet.eof + 1 != layout.records.size())
        return stream;
    std::vector<std::uint8_t> out(stream.begin(), stream.begin() + layout.records[sheet.bof].offset);
    for (std::size_t i = sheet.bof; i <= sheet.eof; ++i) {
        const RecordRef& ref = layout.records[i];
        if (ref.depth == 1 && (ref.type == record::Index || ref.type == record::DbCell))
            continue;
        out.insert(out.end(), stream.begin() + ref.offset, stream.begin() + ref.end());
    }
    return out;
}

namespace {

// The append itself, on the stream's head and closing records alone (a short stream that reads as the
// sheet with its header row only), for the tail's real place in the file. Updates `tail` to the file
// as it is left; false when this append cannot be made in place.
bool appendWithTail(int fd, const std::string& path, SheetTail& tail, const std::vector<AppendRow>& rows) {
    std::vector<std::uint8_t> shortStream = tail.head;
    shortStream.insert(shortStream.end(), tail.closing.begin(), tail.closing.end());
    const BiffLayout layout = BiffLayout::parse(shortStream, path);
    const SheetInfo& sheet = layout.sheets.back();
    SharedStrings strings = SharedStrings::parse(layout.globals.sharedStrings);
    const std::uint32_t knownStrings = strings.uniqueCount();
    SheetScan scan = scanSheet(shortStream, layout, sheet, strings);
    if (scan.dimensions == SIZE_MAX || layout.records[scan.dimensions].size < 14)
        return false;
    scan.lastCellRow = tail.lastCellRow;
    scan.lastRowXf = tail.lastRowXf;
    const CellFormats formats(shortStream, layout);
    const PreparedAppend plan = prepareRows(rows, scan, formats, strings, layout.date1904, path, sheet.name);
    if (plan.rows.empty())
        return true;
    if (!plan.newFormats.empty())
        return false;

    std::vector<std::uint8_t> cells;
    std::uint32_t sharedReferences = 0;
    if (!writeNewRows(cells, plan, strings, knownStrings, tail.rowTemplate, sharedReferences))
        return false;

    // The new cells where the sheet's closing records (WINDOW2 ... EOF) began, and those after them.
    const std::uint32_t newCells = static_cast<std::uint32_t>(cells.size());
    cells.insert(cells.end(), tail.closing.begin(), tail.closing.end());
    StreamGrowth growth(tail.place);
    growth.write(tail.closingOffset, cells);
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> headEdits;
    const RecordRef& dimensions = layout.records[scan.dimensions];
    headEdits.emplace_back(dimensions.body(), widenedDimensions(shortStream, dimensions, plan));
    if (sharedReferences > 0 && !layout.sst.empty()) {
        // The table's count of cells that refer to it.
        const RecordRef& sst = layout.records[layout.sst.front()];
        std::vector<std::uint8_t> total;
        append32(total, get32(shortStream, sst.body()) + sharedReferences);
        headEdits.emplace_back(sst.body(), total);
    }
    for (const auto& [offset, bytes] : headEdits)
        growth.write(offset, bytes);
    StreamPlace grown;
    const std::optional<std::vector<FilePatch>> patches = growth.finish(grown);
    if (!patches)
        return false;
    patchFileDurably(path, fd, tail.place.fileLength, *patches);

    for (const auto& [offset, bytes] : headEdits)
        std::copy(bytes.begin(), bytes.end(), tail.head.begin() + offset);
    tail.place = std::move(grown);
    tail.closingOffset += newCells;
    tail.lastCellRow = plan.rows.back().row;
    tail.lastRowXf.clear();
    for (const NewCell& cell : plan.rows.back().cells)
        tail.lastRowXf[cell.column] = cell.xf;
    return true;
}

} // namespace

bool appendRowsInPlace(const std::string& path, std::string_view sheetName,
                       const std::vector<AppendRow>& rows) {
    // Only a regular file with one name is written in place; anything else takes the whole rewrite,
    // which refuses what it must.
    platform::FileDescriptor fd;
    try {
        fd = platform::openRegularFile(path, O_RDWR, true);
    } catch (const platform::SafeFileError&) {
        return false;
    }
    std::optional<SheetTail> tail = knownTail(fd.get(), path);
    if (tail && tail->sheet != sheetName)
        tail.reset();
    if (!tail)
        tail = learnTail(fd.get(), path, sheetName);
    if (!tail)
        return false;
    if (!appendWithTail(fd.get(), path, *tail, rows))
        return false;
    rememberTail(fd.get(), path, std::move(*tail));
    return true;
}

} // namespace veltrum::workbook
