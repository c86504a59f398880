// A sheet seen as a database table: row 1 names the columns, the following rows are the records.
#pragma once

#include "Workbook.h"

#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

class Table {
public:
    // Throws WorkbookError when the sheet does not exist.
    Table(const Workbook& workbook, std::string_view sheetName);

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
    const Cell& field(int record, int column) const;
    const Cell& field(int record, std::string_view headerName) const;

private:
    const Sheet* m_sheet = nullptr;
    std::string m_fileName;
    std::string m_sheetName;
    std::vector<std::string> m_header;
    int m_recordCount = 0;
};

} // namespace veltrum::workbook
