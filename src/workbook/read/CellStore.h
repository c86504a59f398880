// Cells kept compactly: sixteen bytes each, texts by index into the workbook's shared string table
// (decoded from the stream when a cell is read, never copied per cell) or into the few texts a sheet
// holds itself.
#pragma once

#include "workbook/Cell.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::workbook {

class SharedStrings;

struct StoredCell {
    enum Flag : std::uint8_t { Blank = 1, FromFormula = 2, BooleanTrue = 4, OwnText = 8 };

    double number = 0.0;
    std::uint32_t text = 0; // shared string index, or own text index with OwnText
    std::uint8_t kind = 0;  // CellKind
    std::uint8_t flags = 0;
    std::uint8_t errorCode = 0;
};

class CellStore {
public:
    CellStore() = default;
    explicit CellStore(std::shared_ptr<const SharedStrings> sharedStrings)
        : m_shared(std::move(sharedStrings)) {}

    // Keeps a text that is not a shared string; returns its index.
    std::uint32_t addText(std::string text);
    std::string text(const StoredCell& cell) const;
    Cell cell(const StoredCell& stored) const;

private:
    std::shared_ptr<const SharedStrings> m_shared;
    std::vector<std::string> m_own;
};

// A worksheet's cells in one block, row after row, each row as long as its last cell record; row r
// occupies [rowStarts[r], rowStarts[r + 1]).
struct SheetCells {
    int columnCount = 0;
    std::vector<StoredCell> cells;
    std::vector<std::size_t> rowStarts;
    CellStore texts;
};

} // namespace veltrum::workbook
