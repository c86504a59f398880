// A compound file taken apart for rewriting: the header, every 128-byte directory entry as stored, and
// the contents of every stream, so that a writer can put it back together with one stream changed.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

class CompoundFile;

struct CompoundImage {
    std::array<std::uint8_t, 512> header{};
    int majorVersion = 3;
    std::uint32_t sectorSize = 512;
    std::vector<std::array<std::uint8_t, 128>> entries; // as stored
    std::vector<bool> isStream;                         // per entry
    std::vector<std::vector<std::uint8_t>> streams;     // per entry; empty unless a stream

    // Copies everything out of a parsed compound file (reading each stream through it).
    static CompoundImage from(const CompoundFile& file);
    // Parses `bytes`; throws WorkbookError naming displayName when they are not a sound compound file.
    static CompoundImage parse(std::vector<std::uint8_t> bytes, const std::string& displayName);
};

} // namespace veltrum::workbook
