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

class StreamGrowth {
public:
    // `entry` must be a stream in regular sectors of `file`.
    StreamGrowth(const CompoundFile& file, std::uint32_t entry);

    // Bytes of the stream from `offset` on, within it or running past its end.
    void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    // The patches, or nullopt when the file cannot grow in place: its length is not whole sectors, or
    // the allocation table would need more FAT sectors than the header names (109).
    std::optional<std::vector<FilePatch>> finish() const;

private:
    const CompoundFile& m_file;
    std::uint32_t m_entry;
    std::uint64_t m_size = 0;
    std::map<std::uint64_t, std::vector<std::uint8_t>> m_edits;
};

} // namespace veltrum::workbook
