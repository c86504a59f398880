// Text as BIFF8 records hold it: a character count, an option byte, then one-byte (Latin-1) or
// UTF-16 characters, optionally followed by rich-text runs and phonetic data that readers skip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace veltrum::workbook {

// Reads a record payload and the CONTINUE payloads after it as one sequence of bytes, except for
// characters: when a string's characters cross into the next piece, that piece starts with a fresh
// option byte saying whether the rest is one-byte or UTF-16. Throws BiffError past the last piece.
class PieceReader {
public:
    explicit PieceReader(std::span<const std::span<const std::uint8_t>> pieces, std::size_t offset = 0);

    bool atEnd();
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void skip(std::size_t count);
    // Appends `count` characters as UTF-16 code units, starting in the given width.
    void units(std::size_t count, bool utf16, std::u16string& out);
    // Appends `count` characters as UTF-8, starting in the given width.
    void characters(std::size_t count, bool utf16, std::string& out);
    // Where the next byte comes from: piece and offset in it (after atEnd(), never the end of a piece
    // that has a successor).
    std::pair<std::size_t, std::size_t> position() const;
    void seek(std::size_t piece, std::size_t offset);

private:
    bool nextPiece();
    std::span<const std::span<const std::uint8_t>> m_pieces;
    std::size_t m_piece = 0;
    std::size_t m_offset = 0;
    std::u16string m_units;
};

// The header of a string: character count and width, with rich-text runs and phonetic data sizes.
struct StringHeader {
    std::size_t count = 0;
    bool utf16 = false;
    std::uint16_t runs = 0;
    std::uint32_t phoneticBytes = 0;
};

// Reads a string's header (16-bit or, for sheet names, 8-bit count). A zero count at the very end of
// the data reads as an empty string without an option byte.
StringHeader readStringHeader(PieceReader& reader, int countBytes = 2);

// A whole string as UTF-8, with any rich-text runs and phonetic data skipped.
std::string readBiffString(PieceReader& reader, int countBytes = 2);

// A string within one record payload, starting at `offset`.
std::string readBiffString(std::span<const std::uint8_t> payload, std::size_t offset, int countBytes = 2);

} // namespace veltrum::workbook
