// The record layer of a BIFF8 Workbook stream: each record's type, position and payload, and the
// CONTINUE records that carry the rest of a record too long for one.
#pragma once

#include <cstddef>
#include <cstdint>
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

namespace RecordType {
constexpr std::uint16_t Formula = 0x0006;
constexpr std::uint16_t Eof = 0x000A;
constexpr std::uint16_t DateMode = 0x0022;
constexpr std::uint16_t FilePass = 0x002F;
constexpr std::uint16_t Continue = 0x003C;
constexpr std::uint16_t CodePage = 0x0042;
constexpr std::uint16_t BoundSheet = 0x0085;
constexpr std::uint16_t MulRk = 0x00BD;
constexpr std::uint16_t MulBlank = 0x00BE;
constexpr std::uint16_t RString = 0x00D6;
constexpr std::uint16_t Xf = 0x00E0;
constexpr std::uint16_t Sst = 0x00FC;
constexpr std::uint16_t LabelSst = 0x00FD;
constexpr std::uint16_t Dimensions = 0x0200;
constexpr std::uint16_t Blank = 0x0201;
constexpr std::uint16_t Number = 0x0203;
constexpr std::uint16_t Label = 0x0204;
constexpr std::uint16_t BoolErr = 0x0205;
constexpr std::uint16_t String = 0x0207;
constexpr std::uint16_t Array = 0x0221;
constexpr std::uint16_t Rk = 0x027E;
constexpr std::uint16_t Format = 0x041E;
constexpr std::uint16_t SharedFormula = 0x04BC;
constexpr std::uint16_t Bof = 0x0809;
// Beginning-of-file records of the Excel 2.x, 3.0 and 4.0 formats.
constexpr std::uint16_t Bof2 = 0x0009;
constexpr std::uint16_t Bof3 = 0x0209;
constexpr std::uint16_t Bof4 = 0x0409;
} // namespace RecordType

struct BiffRecord {
    std::uint16_t type = 0;
    std::size_t offset = 0;             // where the 4-byte record header starts in the stream
    std::span<const std::uint8_t> data; // the payload after the header

    std::size_t end() const { return offset + 4 + data.size(); }
};

// Walks the records of a stream one at a time, never reading past its end.
class BiffRecordCursor {
public:
    explicit BiffRecordCursor(std::span<const std::uint8_t> stream, std::size_t offset = 0);

    // True when fewer bytes remain than a record header needs (Excel pads streams with zeros).
    bool atEnd() const { return m_stream.size() - m_position < 4; }
    std::size_t position() const { return m_position; }
    // Reads the record at the current position; throws BiffError when its length runs past the stream.
    BiffRecord next();
    // Type of the record at the current position; callers check atEnd() first.
    std::uint16_t peekType() const;
    // Moves past the CONTINUE records that follow and appends their payloads to `pieces`.
    void takeContinues(std::vector<std::span<const std::uint8_t>>& pieces);

private:
    std::span<const std::uint8_t> m_stream;
    std::size_t m_position = 0;
};

// Every record of a stream in order, for code that rebuilds the stream record by record.
std::vector<BiffRecord> readAllRecords(std::span<const std::uint8_t> stream);

} // namespace veltrum::workbook
