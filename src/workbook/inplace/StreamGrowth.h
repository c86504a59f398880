// Growing one stream of a compound file in place: its new bytes go into the sectors it already has and
// into new sectors at the end of the file, chained from its last one; the allocation table (with a new
// FAT sector named in the header when the table is full) and the stream's size in its directory entry
// follow. Everything is returned as patches of the file, for FilePatch to write atomically.
#pragma once

#include "workbook/inplace/FilePatch.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace veltrum::workbook {

class CompoundFile;

// Where a stream lies in a compound file, as far as growing it needs.
struct StreamPlace {
    std::uint32_t sectorSize = 512;
    std::uint32_t headerSize = 512;
    std::uint64_t fileLength = 0;
    std::vector<std::uint8_t> header;     // the first 512 bytes
    std::vector<std::uint32_t> fat;       // every FAT sector's entries
    std::vector<std::uint32_t> directory; // the directory's sectors
    std::uint32_t entry = 0;
    std::vector<std::uint32_t> chain; // the stream's sectors
    std::uint64_t size = 0;

    // `entry` must be a stream in regular sectors of `file`.
    static StreamPlace of(const CompoundFile& file, std::uint32_t entry);
    // File offset of the directory entry's size field.
    std::uint64_t sizeFieldOffset() const;
};

class StreamGrowth {
public:
    explicit StreamGrowth(StreamPlace place);

    // Bytes of the stream from `offset` on, within it or running past its end.
    void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    // The patches, or nullopt when the file cannot grow in place: its length is not whole sectors, or
    // the allocation table would need more FAT sectors than the header names (109). `grown` receives
    // where the stream lies once they are written.
    std::optional<std::vector<FilePatch>> finish(StreamPlace& grown) const;

private:
    StreamPlace m_place;
    std::uint64_t m_size = 0;
    std::map<std::uint64_t, std::vector<std::uint8_t>> m_edits;
};

} // namespace veltrum::workbook
