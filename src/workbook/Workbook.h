// Reading Excel 97-2003 workbooks (BIFF8 in a compound file) as sheets of typed cells. Opening reads
// the workbook-wide part only; a sheet's cells are read when the sheet is first asked for.
#pragma once

#include "workbook/Cell.h"
#include "workbook/WorkbookError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

struct WorkbookContents;
struct SheetCells;

class Sheet {
public:
    // The reader makes sheets; `cells` are filled in when the sheet is first asked for.
    Sheet(std::string name, std::shared_ptr<const SheetCells> cells);

    const std::string& name() const { return m_name; }
    // Rows and columns up to the last one that holds a cell record (blank cells included).
    int rowCount() const;
    int columnCount() const;
    // Row and column counted from 0; outside the sheet yields an empty cell.
    Cell cell(int row, int column) const;

private:
    std::string m_name;
    std::shared_ptr<const SheetCells> m_cells;
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

    // What was read, for the library's own views of it (Table); opaque outside the library.
    const std::shared_ptr<WorkbookContents>& contents() const { return m_contents; }

private:
    explicit Workbook(std::shared_ptr<WorkbookContents> contents);
    std::shared_ptr<WorkbookContents> m_contents;
};

} // namespace veltrum::workbook
