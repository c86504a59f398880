#include "workbook/BiffStrings.h"

#include "workbook/BiffRecords.h"
#include "workbook/LittleEndian.h"
#include "workbook/Unicode.h"

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

void PieceReader::characters(std::size_t count, bool utf16, std::string& out) {
    m_units.clear();
    while (count > 0) {
        if (m_piece >= m_pieces.size())
            endOfData();
        const std::span<const std::uint8_t> piece = m_pieces[m_piece];
        const std::size_t width = utf16 ? 2 : 1;
        const std::size_t available =
            std::min(count, (piece.size() - std::min(m_offset, piece.size())) / width);
        const std::uint8_t* p = piece.data() + m_offset;
        for (std::size_t i = 0; i < available; ++i)
            m_units.push_back(utf16 ? static_cast<char16_t>(readU16(p + 2 * i))
                                    : static_cast<char16_t>(p[i]));
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
    if (std::all_of(m_units.begin(), m_units.end(), [](char16_t c) { return c < 0x80; }))
        out.append(m_units.begin(), m_units.end());
    else
        appendUtf8(m_units, out);
}

std::string readBiffString(PieceReader& reader, int countBytes) {
    const std::size_t count = countBytes == 1 ? reader.u8() : reader.u16();
    std::string text;
    if (count == 0 && reader.atEnd())
        return text;
    const std::uint8_t options = reader.u8();
    const std::uint16_t runs = (options & 0x08) ? reader.u16() : 0;
    const std::uint32_t phoneticBytes = (options & 0x04) ? reader.u32() : 0;
    text.reserve(count);
    reader.characters(count, (options & 0x01) != 0, text);
    reader.skip(std::size_t{runs} * 4);
    reader.skip(phoneticBytes);
    return text;
}

} // namespace veltrum::workbook
