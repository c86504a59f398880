// Reading Excel 97-2003 workbooks (BIFF8 in a compound file) as sheets of typed cells.
#pragma once

#include "Cell.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

// Every refusal and failure of the library; the message names the file (and sheet or column
// where one is involved) and says what is wrong in words an operator understands.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Sheet {
public:
    const std::string& name() const { return m_name; }
    // Rows and columns up to the last one that holds a cell record (blank cells included).
    int rowCount() const { return m_rowStarts.empty() ? 0 : static_cast<int>(m_rowStarts.size() - 1); }
    int columnCount() const { return m_columnCount; }
    // Row and column counted from 0; outside the sheet yields an empty cell.
    const Cell& cell(int row, int column) const;

private:
    friend class WorkbookReader;
    std::string m_name;
    int m_columnCount = 0;
    // All cells in one block, row after row, each row as long as its last cell record; row r
    // occupies [m_rowStarts[r], m_rowStarts[r + 1]). One block keeps re-reading cheap.
    std::vector<Cell> m_cells;
    std::vector<std::size_t> m_rowStarts;
};

class Workbook {
public:
    // Opens the file and reads every worksheet. Recognises the format by content, not extension.
    static Workbook open(const std::string& path);
    // Reads a workbook held in memory; displayName stands for the file in messages.
    static Workbook fromBytes(const std::vector<std::uint8_t>& bytes, const std::string& displayName);

    const std::string& path() const { return m_path; }
    bool uses1904Dates() const { return m_date1904; }
    std::vector<std::string> sheetNames() const;
    // Sheet by name, compared without regard to ASCII case; throws WorkbookError naming file and sheet.
    const Sheet& sheet(std::string_view name) const;
    const std::vector<Sheet>& sheets() const { return m_sheets; }
    // Chart sheets, macro sheets and modules: named here, not read as sheets.
    const std::vector<std::string>& otherSheetNames() const { return m_otherSheetNames; }

private:
    friend class WorkbookReader;
    std::string m_path;
    bool m_date1904 = false;
    std::vector<Sheet> m_sheets;
    std::vector<std::string> m_otherSheetNames;
};

} // namespace veltrum::workbook
