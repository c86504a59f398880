#include "workbook/read/WorkbookContents.h"

#include "workbook/biff/Globals.h"
#include "workbook/biff/Records.h"
#include "workbook/biff/Refusals.h"
#include "workbook/biff/SharedStrings.h"
#include "workbook/encoding/LittleEndian.h"

namespace veltrum::workbook {

namespace {

// Offsets of the top-level substreams after the globals, for sheets whose recorded position is stale.
std::vector<std::size_t> substreamStarts(std::span<const std::uint8_t> stream, std::size_t from) {
    std::vector<std::size_t> starts;
    SubstreamCursor cursor(stream, from);
    while (!cursor.atEnd()) {
        const BiffRecord record = cursor.next();
        if (record.type == record::Bof && cursor.depth() == 1)
            starts.push_back(record.offset);
    }
    return starts;
}

std::uint16_t substreamType(std::span<const std::uint8_t> stream, std::size_t offset) {
    if (offset > stream.size() || stream.size() - offset < 8 || get16(stream.data() + offset) != record::Bof)
        return 0;
    return get16(stream.data() + offset + 6);
}

class SheetSink : public CellSink {
public:
    SheetSink(std::vector<StoredCell>& cells, const std::vector<std::size_t>& rowStarts, CellStore& texts)
        : m_cells(cells)
        , m_rowStarts(rowStarts)
        , m_texts(texts) {}
    StoredCell* slot(std::uint16_t row, std::uint16_t column) override {
        if (std::size_t{row} + 1 >= m_rowStarts.size() || m_rowStarts[row] + column >= m_rowStarts[row + 1u])
            return nullptr;
        return &m_cells[m_rowStarts[row] + column];
    }
    std::uint32_t addText(std::string text) override { return m_texts.addText(std::move(text)); }

private:
    std::vector<StoredCell>& m_cells;
    const std::vector<std::size_t>& m_rowStarts;
    CellStore& m_texts;
};

} // namespace

std::shared_ptr<WorkbookContents> WorkbookContents::read(CompoundFile compound, const std::string& file) {
    auto contents = std::make_shared<WorkbookContents>();
    contents->path = file;
    WorkbookContents& book = *contents;
    try {
        book.compound.emplace(std::move(compound));
        const std::uint32_t id = workbookStreamEntry(*book.compound, file);
        if (const auto inPlace = book.compound->gatherStreamInPlace(id)) {
            book.stream = *inPlace;
        } else {
            book.streamCopy = book.compound->readStream(id);
            book.stream = book.streamCopy;
        }
    } catch (const CompoundFileError& error) {
        refuseDamaged(file, error.what());
    }

    checkStreamBeginning(book.stream, file);
    WorkbookGlobals globals;
    try {
        globals = readWorkbookGlobals(book.stream);
        if (!globals.encrypted)
            book.sharedStrings =
                std::make_shared<const SharedStrings>(SharedStrings::parse(globals.sharedStrings));
    } catch (const BiffError& error) {
        refuseDamaged(file, error.what());
    }
    if (globals.encrypted)
        refuseEncrypted(file);
    book.date1904 = globals.date1904;
    book.styleKinds.reserve(globals.cellFormats.size());
    for (const CellFormat& format : globals.cellFormats)
        book.styleKinds.push_back(globals.kindOf(format));

    std::vector<std::size_t> starts;
    bool startsKnown = false;
    for (std::size_t index = 0; index < globals.sheets.size(); ++index) {
        const BoundSheet& entry = globals.sheets[index];
        std::size_t offset = entry.position;
        const bool worksheet = entry.type == static_cast<std::uint8_t>(SheetType::Worksheet);
        if (worksheet && substreamType(book.stream, offset) == 0) {
            try {
                if (!startsKnown)
                    starts = substreamStarts(book.stream, globals.end);
                startsKnown = true;
            } catch (const BiffError& error) {
                refuseDamaged(file, error.what(), entry.name);
            }
            if (index >= starts.size())
                refuseDamaged(file, "the sheet list points at a sheet that is not there", entry.name);
            offset = starts[index];
        }
        if (!worksheet || substreamType(book.stream, offset) != WorksheetSubstream) {
            book.otherSheetNames.push_back(entry.name);
            continue;
        }
        book.sheetCells.push_back(std::make_shared<SheetCells>());
        book.sheets.emplace_back(entry.name, book.sheetCells.back());
        book.sheetOffsets.push_back(offset);
    }
    book.loaded.assign(book.sheets.size(), false);
    return contents;
}

ReadContext WorkbookContents::context() const {
    return {stream, &styleKinds, date1904, sharedStrings ? sharedStrings->uniqueCount() : 0};
}

std::size_t WorkbookContents::worksheetIndex(std::string_view name) const {
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (sameIgnoringAsciiCase(sheets[i].name(), name))
            return i;
    }
    for (const std::string& other : otherSheetNames) {
        if (sameIgnoringAsciiCase(other, name))
            refuseNotWorksheet(path, name);
    }
    std::vector<std::string> names;
    for (const Sheet& sheet : sheets)
        names.push_back(sheet.name());
    refuseNoSuchSheet(path, name, names);
}

SheetExtent WorkbookContents::measure(std::size_t index) const {
    try {
        return measureWorksheet(context(), sheetOffsets[index]);
    } catch (const BiffError& error) {
        refuseDamaged(path, error.what(), sheets[index].name());
    }
}

const Sheet& WorkbookContents::load(std::size_t index) {
    const Sheet& sheet = sheets[index];
    if (loaded[index])
        return sheet;
    const SheetExtent extent = measure(index);
    SheetCells& cells = *sheetCells[index];
    cells.rowStarts.clear();
    cells.rowStarts.reserve(extent.widths.size() + 1);
    std::size_t total = 0;
    for (std::uint16_t width : extent.widths) {
        cells.rowStarts.push_back(total);
        total += width;
    }
    cells.rowStarts.push_back(total);
    cells.columnCount = extent.columnCount();
    cells.cells.assign(total, StoredCell{});
    cells.texts = CellStore(sharedStrings);
    SheetSink sink(cells.cells, cells.rowStarts, cells.texts);
    try {
        readWorksheetCells(context(), sheetOffsets[index], SIZE_MAX, sink);
    } catch (const BiffError& error) {
        refuseDamaged(path, error.what(), sheet.name());
    }
    loaded[index] = true;
    return sheet;
}

} // namespace veltrum::workbook
