#include "workbook/BiffRecords.h"

#include "workbook/LittleEndian.h"

namespace veltrum::workbook {

BiffRecordCursor::BiffRecordCursor(std::span<const std::uint8_t> stream, std::size_t offset)
    : m_stream(stream)
    , m_position(offset <= stream.size() ? offset : stream.size()) {}

BiffRecord BiffRecordCursor::next() {
    if (atEnd())
        throw BiffError("the records end in the middle of a record header at offset " +
                        std::to_string(m_position));
    const std::uint8_t* header = m_stream.data() + m_position;
    BiffRecord record;
    record.type = readU16(header);
    record.offset = m_position;
    const std::size_t length = readU16(header + 2);
    if (length > m_stream.size() - m_position - 4)
        throw BiffError("a record at offset " + std::to_string(m_position) +
                        " runs past the end of the stream");
    record.data = m_stream.subspan(m_position + 4, length);
    m_position += 4 + length;
    return record;
}

std::uint16_t BiffRecordCursor::peekType() const {
    return readU16(m_stream.data() + m_position);
}

void BiffRecordCursor::takeContinues(std::vector<std::span<const std::uint8_t>>& pieces) {
    while (!atEnd() && peekType() == RecordType::Continue)
        pieces.push_back(next().data);
}

std::vector<BiffRecord> readAllRecords(std::span<const std::uint8_t> stream) {
    std::vector<BiffRecord> records;
    records.reserve(stream.size() / 16);
    BiffRecordCursor cursor(stream);
    while (!cursor.atEnd())
        records.push_back(cursor.next());
    return records;
}

} // namespace veltrum::workbook
