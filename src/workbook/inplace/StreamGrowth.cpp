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

StreamPlace StreamPlace::of(const CompoundFile& file, std::uint32_t entry) {
    StreamPlace place;
    place.sectorSize = file.sectorSize();
    place.headerSize = file.headerSectorSize();
    place.fileLength = file.bytes().size();
    place.header.assign(file.header().begin(), file.header().end());
    place.fat = file.fat();
    place.directory = file.sectorChain(get32(file.header(), 48));
    place.entry = entry;
    place.chain = file.sectorChain(file.entries()[entry].startSector);
    place.size = file.entries()[entry].size;
    return place;
}

std::uint64_t StreamPlace::sizeFieldOffset() const {
    const std::uint64_t perSector = sectorSize / 128;
    return headerSize + std::uint64_t{directory[entry / perSector]} * sectorSize + (entry % perSector) * 128 +
           120;
}

StreamGrowth::StreamGrowth(StreamPlace place)
    : m_place(std::move(place))
    , m_size(m_place.size) {}

void StreamGrowth::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    m_edits[offset].assign(bytes.begin(), bytes.end());
    m_size = std::max<std::uint64_t>(m_size, offset + bytes.size());
}

std::optional<std::vector<FilePatch>> StreamGrowth::finish(StreamPlace& grown) const {
    const std::uint64_t sectorSize = m_place.sectorSize;
    const std::uint64_t headerSize = m_place.headerSize;
    if (m_place.fileLength < headerSize || (m_place.fileLength - headerSize) % sectorSize != 0 ||
        m_place.header.size() < 512)
        return std::nullopt;
    std::vector<std::uint8_t> header = m_place.header;
    // A DIFAT chain means more FAT sectors than the header holds: the whole file is rewritten instead.
    if (get32(header, 72) != 0)
        return std::nullopt;
    std::uint32_t fatCount = get32(header, 44);
    if (fatCount > kHeaderFatSlots)
        return std::nullopt;
    std::vector<std::uint32_t> fatSectors;
    for (std::uint32_t i = 0; i < fatCount; ++i)
        fatSectors.push_back(get32(header, 76 + 4 * i));

    const std::uint32_t perFatSector = static_cast<std::uint32_t>(sectorSize / 4);
    const std::vector<std::uint32_t>& oldFat = m_place.fat;
    std::vector<std::uint32_t> fat = oldFat;
    fat.resize(static_cast<std::size_t>(fatCount) * perFatSector, CompoundFile::FreeSector);
    std::vector<std::uint32_t> chain = m_place.chain;
    const std::size_t firstNew = chain.size();
    auto next = static_cast<std::uint32_t>((m_place.fileLength - headerSize) / sectorSize);
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
    if (header != m_place.header)
        patches.push_back({0, header});

    // The stream's new bytes, sector by sector; a new sector is written whole (zeros after the end).
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
                {sectorOffset(chain[k]) + used, std::vector<std::uint8_t>(sectorSize - used, 0)});
    }
    // Every FAT sector whose entries changed, whole.
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
    std::vector<std::uint8_t> size;
    append32(size, static_cast<std::uint32_t>(m_size));
    patches.push_back({m_place.sizeFieldOffset(), size});

    grown = m_place;
    grown.header = std::move(header);
    grown.fat = std::move(fat);
    grown.chain = std::move(chain);
    grown.size = m_size;
    grown.fileLength = std::max<std::uint64_t>(m_place.fileLength, headerSize + next * sectorSize);
    return patches;
}

} // namespace veltrum::workbook
