// Reading Excel 97-2003 workbooks (BIFF8 in a compound file) as sheets of typed cells. Opening reads
// the workbook-wide part only; a sheet's cells are read when the sheet is first asked for.
#pragma once

#include "workbook/Cell.h"
#include "workbook/read/CellStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
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

struct WorkbookContents;

class Sheet {
public:
    const std::string& name() const { return m_name; }
    // Rows and columns up to the last one that holds a cell record (blank cells included).
    int rowCount() const { return m_rowStarts.empty() ? 0 : static_cast<int>(m_rowStarts.size() - 1); }
    int columnCount() const { return m_columnCount; }
    // Row and column counted from 0; outside the sheet yields an empty cell.
    Cell cell(int row, int column) const;

private:
    friend struct WorkbookContents;
    std::string m_name;
    int m_columnCount = 0;
    // All cells in one block, row after row, each row as long as its last cell record; row r
    // occupies [m_rowStarts[r], m_rowStarts[r + 1]).
    std::vector<StoredCell> m_cells;
    std::vector<std::size_t> m_rowStarts;
    CellStore m_texts;
};

class Workbook {
public:
    // Opens the file and reads its workbook-wide part. Recognises the format by content, not extension.
    // Refuses at once a folder, a named pipe or a device.
    static Workbook open(const std::string& path);
    // Reads a workbook held in memory, keeping the bytes; displayName stands for the file in messages.
    static Workbook fromBytes(std::vector<std::uint8_t> bytes, const std::string& displayName);
    static Workbook fromBytes(std::string bytes, const std::string& displayName);

    const std::string& path() const;
    bool uses1904Dates() const;
    std::vector<std::string> sheetNames() const;
    // Sheet by name, compared without regard to ASCII case, read on first use; throws WorkbookError
    // naming file and sheet. Not safe to call from two threads at once.
    const Sheet& sheet(std::string_view name) const;
    // Every worksheet, each read on first use.
    const std::vector<Sheet>& sheets() const;
    // Chart sheets, macro sheets and modules: named here, not read as sheets.
    const std::vector<std::string>& otherSheetNames() const;

    // Calls `visit` for every row of the sheet in order (row counted from 0, as many cells as the sheet
    // has columns) while holding only a block of rows in memory.
    void forEachRow(std::string_view sheetName,
                    const std::function<void(int row, std::span<const Cell> cells)>& visit) const;

private:
    friend class Table;
    explicit Workbook(std::shared_ptr<WorkbookContents> contents);
    std::shared_ptr<WorkbookContents> m_contents;
};

} // namespace veltrum::workbook
