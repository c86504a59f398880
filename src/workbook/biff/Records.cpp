#include "workbook/biff/Records.h"

#include "workbook/encoding/LittleEndian.h"

namespace veltrum::workbook {

bool isCellRecord(std::uint16_t type) {
    switch (type) {
    case record::Blank:
    case record::Number:
    case record::Label:
    case record::BoolErr:
    case record::Formula:
    case record::Rk:
    case record::LabelSst:
    case record::RString:
    case record::MulRk:
    case record::MulBlank:
        return true;
    default:
        return false;
    }
}

std::optional<CellPlace> cellPlace(std::uint16_t type, std::span<const std::uint8_t> body) {
    if (body.size() < 4 || !isCellRecord(type))
        return std::nullopt;
    CellPlace place{get16(body.data()), get16(body.data() + 2), get16(body.data() + 2)};
    if (type == record::MulRk || type == record::MulBlank) {
        const std::size_t entry = type == record::MulRk ? 6 : 2;
        if (body.size() < 6 + entry)
            return std::nullopt;
        place.lastColumn += static_cast<std::uint32_t>((body.size() - 6) / entry - 1);
    }
    return place;
}

RecordCursor::RecordCursor(std::span<const std::uint8_t> stream, std::size_t offset)
    : m_stream(stream)
    , m_position(offset <= stream.size() ? offset : stream.size()) {}

BiffRecord RecordCursor::next() {
    if (atEnd())
        throw BiffError("the records end in the middle of a record header at offset " +
                        std::to_string(m_position));
    const std::uint8_t* header = m_stream.data() + m_position;
    BiffRecord record;
    record.type = get16(header);
    record.offset = m_position;
    const std::size_t length = get16(header + 2);
    if (length > m_stream.size() - m_position - 4)
        throw BiffError("a record at offset " + std::to_string(m_position) +
                        " runs past the end of the stream");
    record.data = m_stream.subspan(m_position + 4, length);
    m_position += 4 + length;
    return record;
}

std::uint16_t RecordCursor::peekType() const {
    return get16(m_stream.data() + m_position);
}

void RecordCursor::takeContinues(std::vector<std::span<const std::uint8_t>>& pieces) {
    while (!atEnd() && peekType() == record::Continue)
        pieces.push_back(next().data);
}

void RecordCursor::takeContinues(std::vector<BiffRecord>& records) {
    while (!atEnd() && peekType() == record::Continue)
        records.push_back(next());
}

} // namespace veltrum::workbook
