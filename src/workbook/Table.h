// A sheet seen as a database table: row 1 names the columns, the following rows are the records.
// A column's fields are read when the column is first used, so a table read for a few named columns
// keeps only those.
#pragma once

#include "workbook/Workbook.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

class Table {
public:
    // Reads the header row; throws WorkbookError when the sheet does not exist.
    Table(const Workbook& workbook, std::string_view sheetName);
    // Also reads the named columns' fields at once (in one pass); throws WorkbookError naming file,
    // sheet and column for a column that is not there.
    Table(const Workbook& workbook, std::string_view sheetName, const std::vector<std::string>& columns);

    const std::string& fileName() const { return m_fileName; }
    const std::string& sheetName() const { return m_sheetName; }
    // The header row's cells as text ("" where a header cell is empty).
    const std::vector<std::string>& header() const { return m_header; }
    int recordCount() const { return m_recordCount; }
    int columnCount() const { return static_cast<int>(m_header.size()); }

    // Column of a header name (exact match first, then ignoring ASCII case), or -1.
    int findColumn(std::string_view headerName) const;
    // As findColumn, but throws WorkbookError naming file, sheet and column when absent.
    int column(std::string_view headerName) const;

    // Field of record `record` (0 = the sheet's second row) at column position `column` (0-based).
    // Reads the column on its first use, together with every column looked up by name until then;
    // not safe to call from two threads at once.
    Cell field(int record, int column) const;
    Cell field(int record, std::string_view headerName) const;

    ~Table();
    Table(const Table& other);
    Table& operator=(const Table& other);
    Table(Table&& other) noexcept;
    Table& operator=(Table&& other) noexcept;

private:
    struct Columns; // the columns read so far and their texts

    void readColumns(const std::vector<int>& columns) const;

    std::shared_ptr<const WorkbookContents> m_contents;
    std::size_t m_sheetOffset = 0;
    std::string m_fileName;
    std::string m_sheetName;
    std::vector<std::string> m_header;
    int m_recordCount = 0;
    std::vector<std::pair<std::size_t, std::size_t>> m_blockSpans;
    std::unique_ptr<Columns> m_columns;
};

} // namespace veltrum::workbook
