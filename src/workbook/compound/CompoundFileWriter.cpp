#include "workbook/compound/CompoundFileWriter.h"

#include "workbook/compound/CompoundFile.h"

#include <algorithm>
#include <cstring>

namespace veltrum::workbook {

namespace {

constexpr std::uint32_t kFreeSector = CompoundFile::FreeSector;
constexpr std::uint32_t kEndOfChain = CompoundFile::EndOfChain;
constexpr std::uint32_t kFatSector = CompoundFile::FatSector;
constexpr std::uint32_t kDifatSector = CompoundFile::DifatSector;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kMiniStreamCutoff = 4096;

void put32(std::uint8_t* at, std::uint32_t value) {
    std::memcpy(at, &value, 4);
}

std::size_t sectorsFor(std::uint64_t bytes, std::size_t sectorSize) {
    return static_cast<std::size_t>((bytes + sectorSize - 1) / sectorSize);
}

// Appends a chain of `count` consecutive entries starting at `first` to a FAT or mini FAT.
std::uint32_t appendChain(std::vector<std::uint32_t>& table, std::size_t count) {
    if (count == 0)
        return kEndOfChain;
    const auto first = static_cast<std::uint32_t>(table.size());
    for (std::size_t i = 0; i + 1 < count; ++i)
        table.push_back(first + static_cast<std::uint32_t>(i) + 1);
    table.push_back(kEndOfChain);
    return first;
}

using Entry = std::array<std::uint8_t, 128>;

void setPlace(Entry& entry, int majorVersion, std::uint32_t start, std::uint64_t size) {
    put32(entry.data() + 116, start);
    put32(entry.data() + 120, static_cast<std::uint32_t>(size));
    put32(entry.data() + 124, majorVersion == 3 ? 0 : static_cast<std::uint32_t>(size >> 32));
}

std::uint32_t startOf(const Entry& entry) {
    std::uint32_t value;
    std::memcpy(&value, entry.data() + 116, 4);
    return value;
}

// Where everything goes: the sectors of each part in the order they are given, then the FAT and DIFAT,
// then the stream placed last.
class Placement {
public:
    explicit Placement(const CompoundImage& image, std::uint32_t lastEntry)
        : m_image(image)
        , m_sectorSize(image.sectorSize)
        , m_perSector(image.sectorSize / 4)
        , m_entries(image.entries) {
        placeStreams(lastEntry);
        placeMiniStreamAndDirectory();
        placeTables(lastEntry);
    }

    std::vector<std::uint8_t> write() const {
        std::vector<std::uint8_t> out(m_sectorSize + m_totalSectors * m_sectorSize, 0);
        writeHeader(out.data());
        for (std::size_t i : m_largeOrder) {
            const auto& data = m_image.streams[i];
            std::memcpy(sectorAt(out, startOf(m_entries[i])), data.data(), data.size());
        }
        if (!m_miniStream.empty())
            std::memcpy(sectorAt(out, m_miniStreamStart), m_miniStream.data(), m_miniStream.size());
        if (m_miniFatSectors)
            std::memcpy(sectorAt(out, m_miniFatStart), m_miniFat.data(), m_miniFat.size() * 4);
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            std::memcpy(sectorAt(out, m_directoryStart) + 128 * i, m_entries[i].data(), 128);
        std::memcpy(sectorAt(out, m_fatStart), m_fat.data(), m_fat.size() * 4);
        writeDifat(out);
        return out;
    }

private:
    // Large streams get chains of regular sectors; small ones go to the mini stream.
    void placeStreams(std::uint32_t lastEntry) {
        for (std::size_t i = 1; i < m_entries.size(); ++i) {
            if (!m_image.isStream[i])
                continue;
            const auto& data = m_image.streams[i];
            if (i == lastEntry && data.size() >= kMiniStreamCutoff)
                continue;
            if (data.size() >= kMiniStreamCutoff) {
                m_largeOrder.push_back(i);
                setPlace(m_entries[i], m_image.majorVersion,
                         appendChain(m_fat, sectorsFor(data.size(), m_sectorSize)), data.size());
            } else {
                const std::uint32_t start = appendChain(m_miniFat, sectorsFor(data.size(), 64));
                setPlace(m_entries[i], m_image.majorVersion, start, data.size());
                m_miniStream.insert(m_miniStream.end(), data.begin(), data.end());
                m_miniStream.resize(sectorsFor(m_miniStream.size(), 64) * 64, 0);
            }
        }
    }

    void placeMiniStreamAndDirectory() {
        m_miniStreamStart = appendChain(m_fat, sectorsFor(m_miniStream.size(), m_sectorSize));
        setPlace(m_entries[0], m_image.majorVersion, m_miniStreamStart, m_miniStream.size());
        m_miniFat.resize(sectorsFor(m_miniFat.size() * 4, m_sectorSize) * m_perSector, kFreeSector);
        m_miniFatSectors = m_miniFat.size() / m_perSector;
        m_miniFatStart = appendChain(m_fat, m_miniFatSectors);

        const std::size_t entriesPerSector = m_sectorSize / 128;
        m_directorySectors = sectorsFor(m_entries.size(), entriesPerSector);
        Entry unused{};
        put32(unused.data() + 68, kNoEntry);
        put32(unused.data() + 72, kNoEntry);
        put32(unused.data() + 76, kNoEntry);
        m_entries.resize(m_directorySectors * entriesPerSector, unused);
        m_directoryStart = appendChain(m_fat, m_directorySectors);
    }

    // The FAT must also describe its own sectors and those of the DIFAT, which depend on its size.
    void placeTables(std::uint32_t lastEntry) {
        const bool placeLast = lastEntry < m_image.isStream.size() && m_image.isStream[lastEntry] &&
                               m_image.streams[lastEntry].size() >= kMiniStreamCutoff;
        const std::size_t lastSectors =
            placeLast ? sectorsFor(m_image.streams[lastEntry].size(), m_sectorSize) : 0;
        const std::size_t dataSectors = m_fat.size() + lastSectors;
        for (;;) {
            const std::size_t total = dataSectors + m_fatSectors + m_difatSectors;
            const std::size_t needFat = sectorsFor(total * 4, m_sectorSize);
            const std::size_t needDifat = needFat > 109 ? sectorsFor(needFat - 109, m_perSector - 1) : 0;
            if (needFat == m_fatSectors && needDifat == m_difatSectors)
                break;
            m_fatSectors = needFat;
            m_difatSectors = needDifat;
        }
        m_fatStart = static_cast<std::uint32_t>(m_fat.size());
        m_fat.insert(m_fat.end(), m_fatSectors, kFatSector);
        m_difatStart = static_cast<std::uint32_t>(m_fat.size());
        m_fat.insert(m_fat.end(), m_difatSectors, kDifatSector);
        if (placeLast) {
            setPlace(m_entries[lastEntry], m_image.majorVersion, appendChain(m_fat, lastSectors),
                     m_image.streams[lastEntry].size());
            m_largeOrder.push_back(lastEntry);
        }
        m_fat.resize(m_fatSectors * m_perSector, kFreeSector);
        m_totalSectors = dataSectors + m_fatSectors + m_difatSectors;
    }

    void writeHeader(std::uint8_t* header) const {
        std::copy(m_image.header.begin(), m_image.header.end(), header);
        // The layout above assumes these; a header that said otherwise would make readers look elsewhere.
        header[28] = 0xFE;
        header[29] = 0xFF;
        header[30] = m_sectorSize == 4096 ? 12 : 9;
        header[31] = 0;
        header[32] = 6;
        header[33] = 0;
        put32(header + 56, static_cast<std::uint32_t>(kMiniStreamCutoff));
        put32(header + 40, m_image.majorVersion == 3 ? 0 : static_cast<std::uint32_t>(m_directorySectors));
        put32(header + 44, static_cast<std::uint32_t>(m_fatSectors));
        put32(header + 48, m_directoryStart);
        put32(header + 60, m_miniFatSectors ? m_miniFatStart : kEndOfChain);
        put32(header + 64, static_cast<std::uint32_t>(m_miniFatSectors));
        put32(header + 68, m_difatSectors ? m_difatStart : kEndOfChain);
        put32(header + 72, static_cast<std::uint32_t>(m_difatSectors));
        for (std::size_t i = 0; i < 109; ++i)
            put32(header + 76 + 4 * i,
                  i < m_fatSectors ? m_fatStart + static_cast<std::uint32_t>(i) : kFreeSector);
    }

    // The FAT sectors beyond the 109 the header names, each DIFAT sector chained to the next.
    void writeDifat(std::vector<std::uint8_t>& out) const {
        for (std::size_t d = 0; d < m_difatSectors; ++d) {
            std::uint8_t* sector = sectorAt(out, m_difatStart + d);
            for (std::size_t k = 0; k < m_perSector - 1; ++k) {
                const std::size_t fatIndex = 109 + d * (m_perSector - 1) + k;
                put32(sector + 4 * k, fatIndex < m_fatSectors
                                          ? m_fatStart + static_cast<std::uint32_t>(fatIndex)
                                          : kFreeSector);
            }
            put32(sector + 4 * (m_perSector - 1),
                  d + 1 < m_difatSectors ? m_difatStart + static_cast<std::uint32_t>(d) + 1 : kEndOfChain);
        }
    }

    std::uint8_t* sectorAt(std::vector<std::uint8_t>& out, std::size_t index) const {
        return out.data() + m_sectorSize * (index + 1);
    }

    const CompoundImage& m_image;
    std::size_t m_sectorSize;
    std::size_t m_perSector;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<std::uint8_t> m_miniStream;
    std::vector<std::size_t> m_largeOrder;
    std::uint32_t m_miniStreamStart = 0;
    std::size_t m_miniFatSectors = 0;
    std::uint32_t m_miniFatStart = 0;
    std::size_t m_directorySectors = 0;
    std::uint32_t m_directoryStart = 0;
    std::size_t m_fatSectors = 0;
    std::size_t m_difatSectors = 0;
    std::uint32_t m_fatStart = 0;
    std::uint32_t m_difatStart = 0;
    std::size_t m_totalSectors = 0;
};

} // namespace

std::vector<std::uint8_t> writeCompoundFile(const CompoundImage& image, std::uint32_t lastEntry) {
    return Placement(image, lastEntry).write();
}

} // namespace veltrum::workbook
