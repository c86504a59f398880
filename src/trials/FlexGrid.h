// The trial schedule's grid: a table of text cells with a numeric row sort, standing in for a grid control.
#pragma once

#include <string>
#include <vector>

namespace veltrum::trials {

class FlexGrid {
public:
    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    // Resizing keeps the cells that still fit; new cells are empty.
    void setRows(int rows);
    void setCols(int cols);

    const std::string& textMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, std::string text);

    // Sorts rows first..last (inclusive) in ascending order of column `col` read as numbers. Whole rows
    // move; equal keys keep their order. A key that does not read as a number (an empty cell) sorts
    // after every numeric key, so unbuilt rows collect at the end of the range.
    void sortRowsNumericAscending(int first, int last, int col);

private:
    void checkCell(int row, int col) const;

    int m_rows = 0;
    int m_cols = 0;
    std::vector<std::vector<std::string>> m_cells; // [row][col]
};

} // namespace veltrum::trials
