// Where things are in a BIFF8 Workbook stream, as the appender and the structure checker need them:
// every record with its position, the substreams, the sheets, shared strings, formats and cell formats.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrum::workbook {

namespace record {
constexpr std::uint16_t Formula = 0x0006, Eof = 0x000A, FilePass = 0x002F, Continue = 0x003C,
                        DateMode = 0x0022, DefColWidth = 0x0055, ColInfo = 0x007D, BoundSheet = 0x0085,
                        MulRk = 0x00BD, MulBlank = 0x00BE, RString = 0x00D6, DbCell = 0x00D7, Xf = 0x00E0,
                        Sst = 0x00FC, LabelSst = 0x00FD, ExtSst = 0x00FF, EntExU2 = 0x01C2,
                        Dimensions = 0x0200, Blank = 0x0201, Number = 0x0203, Label = 0x0204,
                        BoolErr = 0x0205, String = 0x0207, Row = 0x0208, Index = 0x020B, Array = 0x0221,
                        Table = 0x0236, Rk = 0x027E, Format = 0x041E, ShrFmla = 0x04BC, Bof = 0x0809;
}

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

// Whether a record type is a cell record, and its row, columns and format.
bool isCellRecord(std::uint16_t type);
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
    std::vector<std::size_t> xfs;                               // XF record indexes, in XF number order
    std::vector<std::pair<std::uint16_t, std::string>> formats; // custom number formats (UTF-8)

    // Walks the stream; throws WorkbookError naming displayName for anything but a readable BIFF8 stream.
    static BiffLayout parse(std::span<const std::uint8_t> stream, const std::string& displayName);
    // The record index whose header starts at `offset`, or SIZE_MAX.
    std::size_t recordAt(std::uint32_t offset) const;
};

inline std::uint16_t get16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

inline void put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    put16(bytes, at, static_cast<std::uint16_t>(value));
    put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

inline void append16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void append32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    append16(bytes, static_cast<std::uint16_t>(value));
    append16(bytes, static_cast<std::uint16_t>(value >> 16));
}
// Decodes a BIFF8 string body (characters 8- or 16-bit per `highByte`) into UTF-8.
std::string decodeCharacters(std::span<const std::uint8_t> bytes, std::size_t count, bool highByte);

} // namespace veltrum::workbook
