#include "workbook/Workbook.h"

#include "workbook/biff/Refusals.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/read/WorkbookContents.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

template <typename Bytes>
std::shared_ptr<WorkbookContents> readContents(Bytes bytes, const std::string& file) {
    const std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size());
    if (!CompoundFile::hasSignature(view))
        refuseNonCompoundFile(view, file);
    std::optional<CompoundFile> compound;
    try {
        compound.emplace(std::move(bytes));
    } catch (const CompoundFileError& error) {
        refuseDamaged(file, error.what());
    }
    return WorkbookContents::read(std::move(*compound), file);
}

// Cells of a block of rows, for reading a sheet a block at a time.
class BlockSink : public CellSink {
public:
    BlockSink(int firstRow, const std::vector<std::size_t>& rowStarts, std::vector<StoredCell>& cells,
              CellStore& texts)
        : m_firstRow(firstRow)
        , m_rowStarts(rowStarts)
        , m_cells(cells)
        , m_texts(texts) {}
    StoredCell* slot(std::uint16_t row, std::uint16_t column) override {
        const int r = row - m_firstRow;
        if (r < 0 || static_cast<std::size_t>(r) + 1 >= m_rowStarts.size() ||
            m_rowStarts[static_cast<std::size_t>(r)] + column >= m_rowStarts[static_cast<std::size_t>(r) + 1])
            return nullptr;
        return &m_cells[m_rowStarts[static_cast<std::size_t>(r)] + column];
    }
    std::uint32_t addText(std::string text) override { return m_texts.addText(std::move(text)); }

private:
    int m_firstRow;
    const std::vector<std::size_t>& m_rowStarts;
    std::vector<StoredCell>& m_cells;
    CellStore& m_texts;
};

} // namespace

Sheet::Sheet(std::string name, std::shared_ptr<const SheetCells> cells)
    : m_name(std::move(name))
    , m_cells(std::move(cells)) {}

int Sheet::rowCount() const {
    return m_cells->rowStarts.empty() ? 0 : static_cast<int>(m_cells->rowStarts.size() - 1);
}

int Sheet::columnCount() const {
    return m_cells->columnCount;
}

Cell Sheet::cell(int row, int column) const {
    if (row < 0 || column < 0 || row >= rowCount())
        return {};
    const std::vector<std::size_t>& rowStarts = m_cells->rowStarts;
    const std::size_t start = rowStarts[static_cast<std::size_t>(row)];
    const std::size_t width = rowStarts[static_cast<std::size_t>(row) + 1] - start;
    return static_cast<std::size_t>(column) < width
               ? m_cells->texts.cell(m_cells->cells[start + static_cast<std::size_t>(column)])
               : Cell{};
}

Workbook::Workbook(std::shared_ptr<WorkbookContents> contents)
    : m_contents(std::move(contents)) {}

Workbook Workbook::open(const std::string& path) {
    return Workbook(readContents(readWholeFile(path), path));
}

Workbook Workbook::fromBytes(std::vector<std::uint8_t> bytes, const std::string& displayName) {
    return Workbook(readContents(std::move(bytes), displayName));
}

Workbook Workbook::fromBytes(std::string bytes, const std::string& displayName) {
    return Workbook(readContents(std::move(bytes), displayName));
}

const std::string& Workbook::path() const {
    return m_contents->path;
}

bool Workbook::uses1904Dates() const {
    return m_contents->date1904;
}

std::vector<std::string> Workbook::sheetNames() const {
    std::vector<std::string> names;
    for (const Sheet& sheet : m_contents->sheets)
        names.push_back(sheet.name());
    return names;
}

const Sheet& Workbook::sheet(std::string_view name) const {
    return m_contents->load(m_contents->worksheetIndex(name));
}

const std::vector<Sheet>& Workbook::sheets() const {
    for (std::size_t i = 0; i < m_contents->sheets.size(); ++i)
        m_contents->load(i);
    return m_contents->sheets;
}

const std::vector<std::string>& Workbook::otherSheetNames() const {
    return m_contents->otherSheetNames;
}

void Workbook::forEachRow(std::string_view sheetName,
                          const std::function<void(int row, std::span<const Cell> cells)>& visit) const {
    WorkbookContents& book = *m_contents;
    const std::size_t index = book.worksheetIndex(sheetName);
    const SheetExtent extent = book.measure(index);
    const int columns = extent.columnCount();
    std::vector<std::size_t> rowStarts;
    std::vector<StoredCell> stored;
    std::vector<Cell> row;
    for (int first = 0; first < extent.rowCount; first += RowsPerBlock) {
        const int last = std::min(extent.rowCount, first + RowsPerBlock);
        rowStarts.clear();
        std::size_t total = 0;
        for (int r = first; r < last; ++r) {
            rowStarts.push_back(total);
            total += extent.widths[static_cast<std::size_t>(r)];
        }
        rowStarts.push_back(total);
        stored.assign(total, StoredCell{});
        CellStore texts(book.sharedStrings);
        const auto block = static_cast<std::size_t>(first / RowsPerBlock);
        const auto span = block < extent.blockSpans.size() ? extent.blockSpans[block]
                                                           : std::pair<std::size_t, std::size_t>{0, 0};
        if (span.second != 0) {
            BlockSink sink(first, rowStarts, stored, texts);
            try {
                readWorksheetCells(book.context(), span.first, span.second, sink);
            } catch (const BiffError& error) {
                refuseDamaged(book.path, error.what(), book.sheets[index].name());
            }
        }
        for (int r = first; r < last; ++r) {
            const auto at = static_cast<std::size_t>(r - first);
            row.assign(static_cast<std::size_t>(columns), Cell{});
            for (std::size_t k = rowStarts[at]; k < rowStarts[at + 1]; ++k)
                row[k - rowStarts[at]] = texts.cell(stored[k]);
            visit(r, row);
        }
    }
}

} // namespace veltrum::workbook
