#include "workbook/inplace/StreamGrowth.h"

#include "workbook/compound/CompoundFile.h"
#include "workbook/encoding/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace veltrum::workbook {

namespace {

constexpr std::size_t kHeaderFatSlots = 109;

// Adds `bytes` at file offset `at` to the patches, joining it to the last one when they touch.
void addPatch(std::vector<FilePatch>& patches, std::uint64_t at, const std::uint8_t* bytes,
              std::size_t size) {
    if (!patches.empty() && patches.back().offset + patches.back().bytes.size() == at) {
        patches.back().bytes.insert(patches.back().bytes.end(), bytes, bytes + size);
        return;
    }
    patches.push_back({at, std::vector<std::uint8_t>(bytes, bytes + size)});
}

} // namespace

StreamGrowth::StreamGrowth(const CompoundFile& file, std::uint32_t entry)
    : m_file(file)
    , m_entry(entry)
    , m_size(file.entries()[entry].size) {}

void StreamGrowth::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    m_edits[offset].assign(bytes.begin(), bytes.end());
    m_size = std::max<std::uint64_t>(m_size, offset + bytes.size());
}

std::optional<std::vector<FilePatch>> StreamGrowth::finish() const {
    const std::uint64_t sectorSize = m_file.sectorSize();
    const std::uint64_t headerSize = m_file.headerSectorSize();
    const std::span<const std::uint8_t> bytes = m_file.bytes();
    if (bytes.size() < headerSize || (bytes.size() - headerSize) % sectorSize != 0)
        return std::nullopt;
    const std::span<const std::uint8_t> oldHeader = m_file.header();
    // A DIFAT chain means more FAT sectors than the header holds: the whole file is rewritten instead.
    if (get32(oldHeader, 72) != 0)
        return std::nullopt;
    std::uint32_t fatCount = get32(oldHeader, 44);
    if (fatCount > kHeaderFatSlots)
        return std::nullopt;
    std::vector<std::uint8_t> header(oldHeader.begin(), oldHeader.end());
    std::vector<std::uint32_t> fatSectors;
    for (std::uint32_t i = 0; i < fatCount; ++i)
        fatSectors.push_back(get32(header, 76 + 4 * i));

    const std::uint32_t perFatSector = static_cast<std::uint32_t>(sectorSize / 4);
    std::vector<std::uint32_t> fat = m_file.fat();
    fat.resize(static_cast<std::size_t>(fatCount) * perFatSector, CompoundFile::FreeSector);
    std::vector<std::uint32_t> chain = m_file.sectorChain(m_file.entries()[m_entry].startSector);
    const std::size_t firstNew = chain.size();
    std::uint32_t next = m_file.sectorCount();
    std::vector<std::uint32_t> newFatSectors;
    while (chain.size() * sectorSize < m_size) {
        std::uint32_t sector = next++;
        while (sector >= fat.size()) {
            // The table has no entry for this sector: it becomes a FAT sector itself.
            if (fatCount == kHeaderFatSlots || sector >= fat.size() + perFatSector)
                return std::nullopt;
            fat.resize(fat.size() + perFatSector, CompoundFile::FreeSector);
            fat[sector] = CompoundFile::FatSector;
            put32(header, 76 + 4 * fatCount, sector);
            fatSectors.push_back(sector);
            newFatSectors.push_back(sector);
            ++fatCount;
            sector = next++;
        }
        if (!chain.empty())
            fat[chain.back()] = sector;
        fat[sector] = CompoundFile::EndOfChain;
        chain.push_back(sector);
    }
    put32(header, 44, fatCount);

    auto sectorOffset = [&](std::uint32_t sector) { return headerSize + sector * sectorSize; };
    std::vector<FilePatch> patches;
    if (!std::equal(header.begin(), header.end(), oldHeader.begin()))
        patches.push_back({0, header});

    // The stream's new bytes, sector by sector; a new sector is written whole (zeros after the end).
    std::vector<std::uint8_t> zeros(sectorSize, 0);
    for (const auto& [offset, data] : m_edits) {
        std::uint64_t at = offset;
        std::size_t done = 0;
        while (done < data.size()) {
            const std::uint64_t index = at / sectorSize;
            const std::uint64_t within = at % sectorSize;
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(sectorSize - within, data.size() - done));
            addPatch(patches, sectorOffset(chain[index]) + within, data.data() + done, take);
            done += take;
            at += take;
        }
    }
    for (std::size_t k = firstNew; k < chain.size(); ++k) {
        const std::uint64_t used = std::min<std::uint64_t>(sectorSize, m_size - k * sectorSize);
        if (used < sectorSize)
            patches.push_back(
                {sectorOffset(chain[k]) + used,
                 std::vector<std::uint8_t>(zeros.begin() + static_cast<std::ptrdiff_t>(used), zeros.end())});
    }
    // Every FAT sector whose entries changed, whole.
    const std::vector<std::uint32_t>& oldFat = m_file.fat();
    for (std::size_t i = 0; i < fatSectors.size(); ++i) {
        const std::size_t first = i * perFatSector;
        bool changed = first + perFatSector > oldFat.size();
        for (std::size_t k = first; !changed && k < first + perFatSector; ++k)
            changed = fat[k] != oldFat[k];
        if (!changed)
            continue;
        FilePatch patch{sectorOffset(fatSectors[i]), {}};
        for (std::size_t k = first; k < first + perFatSector; ++k)
            append32(patch.bytes, fat[k]);
        patches.push_back(std::move(patch));
    }
    // The stream's size in its directory entry.
    const std::vector<std::uint32_t> directory = m_file.sectorChain(get32(header, 48));
    const std::uint64_t perDirectorySector = sectorSize / 128;
    const std::uint64_t entryAt =
        sectorOffset(directory[m_entry / perDirectorySector]) + (m_entry % perDirectorySector) * 128;
    std::vector<std::uint8_t> size;
    append32(size, static_cast<std::uint32_t>(m_size));
    patches.push_back({entryAt + 120, size});
    return patches;
}

} // namespace veltrum::workbook
