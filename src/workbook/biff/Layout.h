// Where things are in a BIFF8 Workbook stream, as the appender and the structure checker need them:
// every record with its position and depth, the substreams and sheets, and the records of the globals
// (shared strings, cell formats) by index.
#pragma once

#include "workbook/biff/Globals.h"
#include "workbook/biff/Records.h"
#include "workbook/encoding/LittleEndian.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrum::workbook {

struct RecordRef {
    std::uint16_t type = 0;
    std::uint32_t offset = 0; // of the 4-byte header within the stream
    std::uint32_t size = 0;   // of the body
    int depth = 0;            // 1 inside a substream, 2 and more inside an embedded one (a chart)
    std::uint32_t body() const { return offset + 4; }
    std::uint32_t end() const { return offset + 4 + size; }
};

struct SheetInfo {
    std::string name;       // UTF-8
    std::size_t boundSheet; // record index of its BOUNDSHEET
    std::size_t bof = 0;    // record index of its BOF
    std::size_t eof = 0;    // record index of its EOF
    std::uint16_t kind = 0; // BOF substream type: 0x0010 worksheet, 0x0020 chart, 0x0040 macro sheet
};

struct CellRef {
    std::uint16_t row = 0;
    std::uint16_t firstColumn = 0;
    std::uint16_t lastColumn = 0;
    std::uint16_t xf = 0; // of the first column (a MULRK or MULBLANK has one per column)
};

// A cell record's row, columns and format.
bool readCell(std::span<const std::uint8_t> stream, const RecordRef& ref, CellRef& cell);
// The format of column `column` of a cell record (MULRK and MULBLANK carry one per column).
std::uint16_t cellXf(std::span<const std::uint8_t> stream, const RecordRef& ref, std::uint16_t column);

struct BiffLayout {
    std::vector<RecordRef> records;
    std::uint32_t trailingOffset = 0; // bytes from here on follow the last substream (padding)
    std::size_t globalsEof = 0;
    std::vector<SheetInfo> sheets;
    bool date1904 = false;
    bool encrypted = false;
    std::vector<std::size_t> sst; // SST record index followed by its CONTINUE record indexes
    std::size_t extSst = SIZE_MAX;
    std::vector<std::size_t> xfs; // XF record indexes, in XF number order
    WorkbookGlobals globals;

    // Walks the stream; throws WorkbookError naming displayName for anything but a readable BIFF8 stream.
    static BiffLayout parse(std::span<const std::uint8_t> stream, const std::string& displayName);
    // The record index whose header starts at `offset`, or SIZE_MAX.
    std::size_t recordAt(std::uint32_t offset) const;
};

} // namespace veltrum::workbook
