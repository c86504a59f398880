// A workbook data component of the main window: binds one sheet of a workbook as a table of records.
#pragma once

#include "platform/FileSystem.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <memory>
#include <string>
#include <string_view>

namespace veltrum::session {

// Bound by two settings and a refresh: database name (the workbook's path) and record source (the sheet's
// name followed by "$"). Refresh reads the whole workbook through the file system and opens the sheet;
// the first sheet row names the columns, records follow in sheet order. Failures throw
// workbook::WorkbookError naming the file (and sheet, column) involved. Records are written through the
// session's records, never through a data component.
class DataControl {
public:
    // What a refresh opened, with the current record; copies share the workbook read.
    struct Binding {
        std::string databaseName;
        std::string recordSource;
        std::shared_ptr<const workbook::Workbook> book;
        std::shared_ptr<const workbook::Table> table;
        int record = 0;
    };

    DataControl(platform::FileSystem& fileSystem, std::string objectName);

    const std::string& objectName() const { return m_objectName; }
    const std::string& databaseName() const { return m_binding.databaseName; }
    void setDatabaseName(std::string path) { m_binding.databaseName = std::move(path); }
    const std::string& recordSource() const { return m_binding.recordSource; }
    void setRecordSource(std::string source) { m_binding.recordSource = std::move(source); }
    // The sheet the record source names ("Parameters$" names the sheet Parameters).
    std::string sheetName() const;

    // Reads the database file and opens the record source's sheet; the first record becomes current.
    void refresh();
    bool isOpen() const { return m_binding.table != nullptr; }
    // Releases the workbook; the settings stay.
    void close();

    void moveFirst();
    void moveNext();
    // True after moving past the last record, and at once for a sheet without records.
    bool eof() const;
    int recordCount() const;
    // The current record counted from 0 (sheet row 2 is record 0).
    int currentRecord() const { return m_binding.record; }
    const workbook::Table& table() const;

    // Field of the current record by header name; throws naming file, sheet and column when absent.
    workbook::Cell field(std::string_view headerName) const;
    // Field of the current record by column position counted from 0.
    workbook::Cell field(int position) const;

    const Binding& binding() const { return m_binding; }
    void restoreBinding(Binding binding) { m_binding = std::move(binding); }

private:
    void requireCurrentRecord() const;

    platform::FileSystem& m_fileSystem;
    std::string m_objectName;
    Binding m_binding;
};

} // namespace veltrum::session
