#include "workbook/biff/Strings.h"

#include "workbook/biff/Records.h"
#include "workbook/encoding/LittleEndian.h"
#include "workbook/encoding/Unicode.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

[[noreturn]] void endOfData() {
    throw BiffError("a text or table record ends before its contents do");
}

} // namespace

PieceReader::PieceReader(std::span<const std::span<const std::uint8_t>> pieces, std::size_t offset)
    : m_pieces(pieces)
    , m_offset(offset) {}

bool PieceReader::nextPiece() {
    if (m_piece + 1 >= m_pieces.size())
        return false;
    ++m_piece;
    m_offset = 0;
    return true;
}

bool PieceReader::atEnd() {
    while (m_piece < m_pieces.size() && m_offset >= m_pieces[m_piece].size()) {
        if (!nextPiece())
            return true;
    }
    return m_piece >= m_pieces.size();
}

std::uint8_t PieceReader::u8() {
    if (atEnd())
        endOfData();
    return m_pieces[m_piece][m_offset++];
}

std::uint16_t PieceReader::u16() {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (u8() << 8));
}

std::uint32_t PieceReader::u32() {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
}

void PieceReader::skip(std::size_t count) {
    while (count > 0) {
        if (atEnd())
            endOfData();
        const std::size_t take = std::min(count, m_pieces[m_piece].size() - m_offset);
        m_offset += take;
        count -= take;
    }
}

std::pair<std::size_t, std::size_t> PieceReader::position() const {
    return {m_piece, m_offset};
}

void PieceReader::seek(std::size_t piece, std::size_t offset) {
    m_piece = piece;
    m_offset = offset;
}

void PieceReader::characters(std::size_t count, bool utf16, std::string& out) {
    m_units.clear();
    units(count, utf16, m_units);
    if (std::all_of(m_units.begin(), m_units.end(), [](char16_t c) { return c < 0x80; }))
        out.append(m_units.begin(), m_units.end());
    else
        appendUtf8(m_units, out);
}

void PieceReader::units(std::size_t count, bool utf16, std::u16string& out) {
    while (count > 0) {
        if (m_piece >= m_pieces.size())
            endOfData();
        const std::span<const std::uint8_t> piece = m_pieces[m_piece];
        const std::size_t width = utf16 ? 2 : 1;
        const std::size_t available =
            std::min(count, (piece.size() - std::min(m_offset, piece.size())) / width);
        const std::uint8_t* p = piece.data() + m_offset;
        for (std::size_t i = 0; i < available; ++i)
            out.push_back(utf16 ? static_cast<char16_t>(get16(p + 2 * i)) : static_cast<char16_t>(p[i]));
        m_offset += available * width;
        count -= available;
        if (count == 0)
            break;
        // The characters go on in the next CONTINUE, which begins with its own option byte.
        if (!nextPiece() || m_pieces[m_piece].empty())
            endOfData();
        utf16 = (m_pieces[m_piece][0] & 0x01) != 0;
        m_offset = 1;
    }
}

StringHeader readStringHeader(PieceReader& reader, int countBytes) {
    StringHeader header;
    header.count = countBytes == 1 ? reader.u8() : reader.u16();
    if (header.count == 0 && reader.atEnd())
        return header;
    const std::uint8_t options = reader.u8();
    header.utf16 = (options & 0x01) != 0;
    header.runs = (options & 0x08) ? reader.u16() : 0;
    header.phoneticBytes = (options & 0x04) ? reader.u32() : 0;
    return header;
}

std::string readBiffString(PieceReader& reader, int countBytes) {
    const StringHeader header = readStringHeader(reader, countBytes);
    std::string text;
    text.reserve(header.count);
    reader.characters(header.count, header.utf16, text);
    reader.skip(std::size_t{header.runs} * 4);
    reader.skip(header.phoneticBytes);
    return text;
}

std::string readBiffString(std::span<const std::uint8_t> payload, std::size_t offset, int countBytes) {
    PieceReader reader(std::span(&payload, 1), offset);
    return readBiffString(reader, countBytes);
}

} // namespace veltrum::workbook
