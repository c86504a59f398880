// The record layer of a BIFF8 Workbook stream: record types, each record's position and payload, a
// cursor that walks them without reading past the stream, and the CONTINUE records that carry the rest
// of a record too long for one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrum::workbook {

// The stream's records do not fit together; the message says where.
class BiffError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace record {
constexpr std::uint16_t Formula = 0x0006, Eof = 0x000A, DateMode = 0x0022, FilePass = 0x002F,
                        Continue = 0x003C, CodePage = 0x0042, DefColWidth = 0x0055, ColInfo = 0x007D,
                        BoundSheet = 0x0085, MulRk = 0x00BD, MulBlank = 0x00BE, RString = 0x00D6,
                        DbCell = 0x00D7, Xf = 0x00E0, Sst = 0x00FC, LabelSst = 0x00FD, ExtSst = 0x00FF,
                        EntExU2 = 0x01C2, Dimensions = 0x0200, Blank = 0x0201, Number = 0x0203,
                        Label = 0x0204, BoolErr = 0x0205, String = 0x0207, Row = 0x0208, Index = 0x020B,
                        Array = 0x0221, Table = 0x0236, Rk = 0x027E, Format = 0x041E, ShrFmla = 0x04BC,
                        Bof = 0x0809;
// Beginning-of-file records of the Excel 2.x, 3.0 and 4.0 formats.
constexpr std::uint16_t Bof2 = 0x0009, Bof3 = 0x0209, Bof4 = 0x0409;
} // namespace record

// Substream types a BOF record names, and the version of a BIFF8 one.
constexpr std::uint16_t Biff8Version = 0x0600;
constexpr std::uint16_t GlobalsSubstream = 0x0005;
constexpr std::uint16_t WorksheetSubstream = 0x0010;

// Cell records: each holds row, column and cell format in its first six bytes.
bool isCellRecord(std::uint16_t type);

// Where a cell record's cells lie: its row and its first and last column. A MULRK or MULBLANK spans as
// many columns as it holds entries.
struct CellPlace {
    std::uint16_t row = 0;
    std::uint16_t firstColumn = 0;
    std::uint32_t lastColumn = 0; // may lie past the last column a sheet can have in a damaged record
};

// The place of a cell record's cells; nullopt for a record that is no cell record or too short to say.
std::optional<CellPlace> cellPlace(std::uint16_t type, std::span<const std::uint8_t> body);

struct BiffRecord {
    std::uint16_t type = 0;
    std::size_t offset = 0;             // where the 4-byte record header starts in the stream
    std::span<const std::uint8_t> data; // the payload after the header

    std::size_t end() const { return offset + 4 + data.size(); }
};

// Walks the records of a stream one at a time, never reading past its end.
class RecordCursor {
public:
    explicit RecordCursor(std::span<const std::uint8_t> stream, std::size_t offset = 0);

    // True when fewer bytes remain than a record header needs (Excel pads streams with zeros).
    bool atEnd() const { return m_stream.size() - m_position < 4; }
    std::size_t position() const { return m_position; }
    // Reads the record at the current position; throws BiffError when its length runs past the stream.
    BiffRecord next();
    // Type of the record at the current position; callers check atEnd() first.
    std::uint16_t peekType() const;
    // Moves past the CONTINUE records that follow and appends their payloads to `pieces`.
    void takeContinues(std::vector<std::span<const std::uint8_t>>& pieces);
    // The same, keeping the whole records.
    void takeContinues(std::vector<BiffRecord>& records);

private:
    std::span<const std::uint8_t> m_stream;
    std::size_t m_position = 0;
};

// Walks records keeping count of the substreams they lie in: a BOF opens a substream (a sheet, or a
// chart embedded in one), its EOF closes it. Every walk over substreams goes through here.
class SubstreamCursor {
public:
    // `open`: how many substreams are open at `offset` (1 just inside a sheet's BOF).
    explicit SubstreamCursor(std::span<const std::uint8_t> stream, std::size_t offset = 0, int open = 0)
        : m_records(stream, offset)
        , m_open(open) {}

    bool atEnd() const { return m_records.atEnd(); }
    std::size_t position() const { return m_records.position(); }
    std::uint16_t peekType() const { return m_records.peekType(); }
    // Substreams open after the last record read.
    int open() const { return m_open; }
    // The depth of the last record read: 1 for a sheet's own records, 2 and more inside an embedded
    // substream; a BOF at the depth it opens, an EOF at the depth it closes.
    int depth() const { return m_depth; }

    // Reads the next record; throws BiffError as RecordCursor does.
    BiffRecord next() {
        BiffRecord record = m_records.next();
        if (record.type == record::Bof) {
            m_depth = ++m_open;
        } else {
            m_depth = m_open;
            if (record.type == record::Eof && m_open > 0)
                --m_open;
        }
        return record;
    }
    // The records underneath, to take a record's CONTINUE records with it.
    RecordCursor& records() { return m_records; }

private:
    RecordCursor m_records;
    int m_open = 0;
    int m_depth = 0;
};

} // namespace veltrum::workbook
