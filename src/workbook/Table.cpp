#include "workbook/Table.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

Table::Table(const Workbook& workbook, std::string_view sheetName)
    : m_sheet(&workbook.sheet(sheetName))
    , m_fileName(workbook.path())
    , m_sheetName(m_sheet->name()) {
    const int columns = m_sheet->columnCount();
    m_header.reserve(static_cast<std::size_t>(columns));
    for (int column = 0; column < columns; ++column)
        m_header.push_back(toDisplayText(m_sheet->cell(0, column)));
    m_recordCount = std::max(0, m_sheet->rowCount() - 1);
}

int Table::findColumn(std::string_view headerName) const {
    const auto begin = m_header.begin();
    auto found = std::find(begin, m_header.end(), headerName);
    if (found == m_header.end()) {
        found = std::find_if(begin, m_header.end(), [headerName](const std::string& name) {
            return std::equal(name.begin(), name.end(), headerName.begin(), headerName.end(),
                              [](char a, char b) { return lower(a) == lower(b); });
        });
    }
    return found == m_header.end() ? -1 : static_cast<int>(found - begin);
}

int Table::column(std::string_view headerName) const {
    const int found = findColumn(headerName);
    if (found < 0) {
        std::string names;
        for (const std::string& name : m_header) {
            if (!name.empty())
                names += (names.empty() ? "'" : ", '") + name + "'";
        }
        throw WorkbookError("Workbook '" + m_fileName + "', sheet '" + m_sheetName + "' has no column '" +
                            std::string(headerName) + "' in its first row (columns: " +
                            (names.empty() ? "none" : names) + "). Check the heading in the workbook.");
    }
    return found;
}

const Cell& Table::field(int record, int column) const {
    return m_sheet->cell(record + 1, column);
}

const Cell& Table::field(int record, std::string_view headerName) const {
    return field(record, column(headerName));
}

} // namespace veltrum::workbook
