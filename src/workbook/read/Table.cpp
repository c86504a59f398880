#include "workbook/Table.h"

#include "workbook/biff/Refusals.h"
#include "workbook/read/WorkbookContents.h"

#include <algorithm>
#include <array>
#include <map>

namespace veltrum::workbook {

namespace {

// The header row's cells, or the fields of chosen columns (one cell per record).
class ColumnSink : public CellSink {
public:
    ColumnSink(int rows, CellStore& texts)
        : m_rows(rows)
        , m_texts(texts) {}
    void want(int column, std::vector<StoredCell>& cells) {
        m_columns[static_cast<std::size_t>(column)] = &cells;
    }
    StoredCell* slot(std::uint16_t row, std::uint16_t column) override {
        if (column >= m_columns.size() || !m_columns[column] || row >= m_rows)
            return nullptr;
        return &(*m_columns[column])[row];
    }
    std::uint32_t addText(std::string text) override { return m_texts.addText(std::move(text)); }

private:
    int m_rows;
    CellStore& m_texts;
    std::array<std::vector<StoredCell>*, 256> m_columns{};
};

} // namespace

struct Table::Columns {
    // One cell per record of each column read so far.
    std::map<int, std::vector<StoredCell>> cells;
    std::vector<int> named; // columns looked up by name so far
    std::shared_ptr<CellStore> texts;
};

Table::~Table() = default;
Table::Table(Table&& other) noexcept = default;
Table& Table::operator=(Table&& other) noexcept = default;

Table::Table(const Table& other)
    : m_contents(other.m_contents)
    , m_sheetOffset(other.m_sheetOffset)
    , m_fileName(other.m_fileName)
    , m_sheetName(other.m_sheetName)
    , m_header(other.m_header)
    , m_recordCount(other.m_recordCount)
    , m_blockSpans(other.m_blockSpans)
    , m_columns(other.m_columns ? std::make_unique<Columns>(*other.m_columns) : nullptr) {}

Table& Table::operator=(const Table& other) {
    if (this != &other)
        *this = Table(other);
    return *this;
}

Table::Table(const Workbook& workbook, std::string_view sheetName)
    : m_contents(workbook.contents())
    , m_fileName(workbook.path())
    , m_columns(std::make_unique<Columns>()) {
    const WorkbookContents& book = *m_contents;
    const std::size_t index = book.worksheetIndex(sheetName);
    m_sheetName = book.sheets[index].name();
    m_sheetOffset = book.sheetOffsets[index];
    const SheetExtent extent = book.measure(index);
    m_recordCount = std::max(0, extent.rowCount - 1);
    m_blockSpans = extent.blockSpans;
    m_columns->texts = std::make_shared<CellStore>(book.sharedStrings);
    m_header.assign(static_cast<std::size_t>(extent.columnCount()), std::string());
    if (extent.rowCount == 0)
        return;
    // The header row is row 0, in the first block of rows.
    std::vector<std::vector<StoredCell>> header(extent.widths[0], std::vector<StoredCell>(1));
    ColumnSink sink(1, *m_columns->texts);
    for (std::size_t c = 0; c < header.size(); ++c)
        sink.want(static_cast<int>(c), header[c]);
    try {
        readWorksheetCells(book.context(), m_blockSpans[0].first, m_blockSpans[0].second, sink);
    } catch (const BiffError& error) {
        refuseDamaged(m_fileName, error.what(), m_sheetName);
    }
    for (std::size_t c = 0; c < header.size(); ++c)
        m_header[c] = toDisplayText(m_columns->texts->cell(header[c][0]));
}

Table::Table(const Workbook& workbook, std::string_view sheetName, const std::vector<std::string>& columns)
    : Table(workbook, sheetName) {
    std::vector<int> positions;
    for (const std::string& name : columns)
        positions.push_back(column(name));
    readColumns(positions);
}

void Table::readColumns(const std::vector<int>& columns) const {
    const int rows = m_recordCount + 1;
    ColumnSink sink(rows, *m_columns->texts);
    std::vector<int> fresh;
    for (int c : columns) {
        if (c < 0 || c >= columnCount() || m_columns->cells.count(c))
            continue;
        auto& cells = m_columns->cells[c];
        cells.assign(static_cast<std::size_t>(rows), StoredCell{});
        sink.want(c, cells);
        fresh.push_back(c);
    }
    if (fresh.empty() || m_blockSpans.empty())
        return;
    std::size_t from = SIZE_MAX;
    std::size_t until = 0;
    for (const auto& [first, last] : m_blockSpans) {
        if (last == 0)
            continue;
        from = std::min(from, first);
        until = std::max(until, last);
    }
    try {
        readWorksheetCells(m_contents->context(), from, until, sink);
    } catch (const BiffError& error) {
        for (int c : fresh)
            m_columns->cells.erase(c);
        refuseDamaged(m_fileName, error.what(), m_sheetName);
    }
}

int Table::findColumn(std::string_view headerName) const {
    const auto begin = m_header.begin();
    auto found = std::find(begin, m_header.end(), headerName);
    if (found == m_header.end()) {
        found = std::find_if(begin, m_header.end(), [headerName](const std::string& name) {
            return sameIgnoringAsciiCase(name, headerName);
        });
    }
    return found == m_header.end() ? -1 : static_cast<int>(found - begin);
}

int Table::column(std::string_view headerName) const {
    const int found = findColumn(headerName);
    if (found < 0)
        refuseNoSuchColumn(m_fileName, m_sheetName, headerName, m_header);
    std::vector<int>& named = m_columns->named;
    if (std::find(named.begin(), named.end(), found) == named.end())
        named.push_back(found);
    return found;
}

Cell Table::field(int record, int column) const {
    if (record < 0 || record >= m_recordCount || column < 0 || column >= columnCount())
        return {};
    auto found = m_columns->cells.find(column);
    if (found == m_columns->cells.end()) {
        // Columns asked for by name are usually all read: one pass reads them together.
        std::vector<int> wanted = m_columns->named;
        wanted.push_back(column);
        readColumns(wanted);
        found = m_columns->cells.find(column);
    }
    return m_columns->texts->cell(found->second[static_cast<std::size_t>(record) + 1]);
}

Cell Table::field(int record, std::string_view headerName) const {
    return field(record, column(headerName));
}

} // namespace veltrum::workbook
