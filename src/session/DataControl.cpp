#include "DataControl.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace veltrum::session {

using workbook::WorkbookError;

DataControl::DataControl(platform::FileSystem& fileSystem, std::string objectName)
    : m_fileSystem(fileSystem)
    , m_objectName(std::move(objectName)) {}

std::string DataControl::sheetName() const {
    const std::string& source = m_binding.recordSource;
    if (!source.empty() && source.back() == '$')
        return source.substr(0, source.size() - 1);
    return source;
}

void DataControl::refresh() {
    close();
    const std::string& path = m_binding.databaseName;
    if (path.empty())
        throw WorkbookError("The data component " + m_objectName + " names no workbook.");
    if (!m_fileSystem.exists(path))
        throw WorkbookError("The workbook " + path + " does not exist.");
    std::string bytes;
    try {
        bytes = m_fileSystem.readText(path);
    } catch (const std::runtime_error& error) {
        throw WorkbookError(error.what());
    }
    auto book =
        std::make_shared<const workbook::Workbook>(workbook::Workbook::fromBytes(std::move(bytes), path));
    auto table = std::make_shared<const workbook::Table>(*book, sheetName());
    m_binding.book = std::move(book);
    m_binding.table = std::move(table);
    m_binding.record = 0;
}

void DataControl::close() {
    m_binding.table.reset();
    m_binding.book.reset();
    m_binding.record = 0;
}

void DataControl::moveFirst() {
    table();
    m_binding.record = 0;
}

void DataControl::moveNext() {
    if (eof())
        throw WorkbookError("No current record in sheet " + table().sheetName() + " of " +
                            table().fileName() + ": moved past the last one.");
    ++m_binding.record;
}

bool DataControl::eof() const {
    return m_binding.record >= table().recordCount();
}

int DataControl::recordCount() const {
    return table().recordCount();
}

const workbook::Table& DataControl::table() const {
    if (!m_binding.table)
        throw std::logic_error("The data component " + m_objectName + " is not open.");
    return *m_binding.table;
}

void DataControl::requireCurrentRecord() const {
    if (eof())
        throw WorkbookError("No current record in sheet " + table().sheetName() + " of " +
                            table().fileName() + ".");
}

workbook::Cell DataControl::field(std::string_view headerName) const {
    requireCurrentRecord();
    return table().field(m_binding.record, table().column(headerName));
}

workbook::Cell DataControl::field(int position) const {
    requireCurrentRecord();
    if (position < 0 || position >= table().columnCount())
        throw WorkbookError("Sheet " + table().sheetName() + " of " + table().fileName() + " has no column " +
                            std::to_string(position + 1) + ".");
    return table().field(m_binding.record, position);
}

} // namespace veltrum::session
