#include "FlexGrid.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace veltrum::trials {

namespace {

std::optional<double> numericKey(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && *begin == ' ')
        ++begin;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || begin == end)
        return std::nullopt;
    for (const char* rest = ptr; rest != end; ++rest) {
        if (*rest != ' ')
            return std::nullopt;
    }
    return value;
}

} // namespace

void FlexGrid::setRows(int rows) {
    if (rows < 0)
        throw std::out_of_range("grid rows must not be negative");
    m_rows = rows;
    m_cells.resize(static_cast<std::size_t>(rows),
                   std::vector<std::string>(static_cast<std::size_t>(m_cols)));
}

void FlexGrid::setCols(int cols) {
    if (cols < 0)
        throw std::out_of_range("grid columns must not be negative");
    m_cols = cols;
    for (auto& row : m_cells)
        row.resize(static_cast<std::size_t>(cols));
}

void FlexGrid::checkCell(int row, int col) const {
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        throw std::out_of_range("grid cell (" + std::to_string(row) + ", " + std::to_string(col) +
                                ") is outside the schedule grid");
}

const std::string& FlexGrid::textMatrix(int row, int col) const {
    checkCell(row, col);
    return m_cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void FlexGrid::setTextMatrix(int row, int col, std::string text) {
    checkCell(row, col);
    m_cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = std::move(text);
}

void FlexGrid::sortRowsNumericAscending(int first, int last, int col) {
    if (first > last)
        return;
    checkCell(first, col);
    checkCell(last, col);
    const auto begin = m_cells.begin() + first;
    const auto end = m_cells.begin() + last + 1;
    const auto column = static_cast<std::size_t>(col);
    std::stable_sort(begin, end, [column](const auto& a, const auto& b) {
        const auto keyA = numericKey(a[column]);
        const auto keyB = numericKey(b[column]);
        if (keyA && keyB)
            return *keyA < *keyB;
        return keyA.has_value() && !keyB.has_value();
    });
}

} // namespace veltrum::trials
