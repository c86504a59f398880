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

} // namespace

std::vector<std::uint8_t> writeCompoundFile(const CompoundImage& image, std::uint32_t lastEntry) {
    const std::size_t sectorSize = image.sectorSize;
    const std::size_t perSector = sectorSize / 4;
    std::vector<std::array<std::uint8_t, 128>> entries = image.entries;
    std::vector<std::uint32_t> fat;
    std::vector<std::uint32_t> miniFat;
    std::vector<std::uint8_t> miniStream;
    std::vector<std::size_t> largeOrder;

    auto setPlace = [&](std::array<std::uint8_t, 128>& entry, std::uint32_t start, std::uint64_t size) {
        put32(entry.data() + 116, start);
        put32(entry.data() + 120, static_cast<std::uint32_t>(size));
        put32(entry.data() + 124, image.majorVersion == 3 ? 0 : static_cast<std::uint32_t>(size >> 32));
    };
    auto startOf = [](const std::array<std::uint8_t, 128>& entry) {
        std::uint32_t value;
        std::memcpy(&value, entry.data() + 116, 4);
        return value;
    };

    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (!image.isStream[i])
            continue;
        const auto& data = image.streams[i];
        if (i == lastEntry && data.size() >= kMiniStreamCutoff)
            continue;
        if (data.size() >= kMiniStreamCutoff) {
            largeOrder.push_back(i);
            setPlace(entries[i], appendChain(fat, sectorsFor(data.size(), sectorSize)), data.size());
        } else {
            const std::uint32_t start = appendChain(miniFat, sectorsFor(data.size(), 64));
            setPlace(entries[i], start, data.size());
            miniStream.insert(miniStream.end(), data.begin(), data.end());
            miniStream.resize(sectorsFor(miniStream.size(), 64) * 64, 0);
        }
    }
    const std::uint32_t miniStreamStart = appendChain(fat, sectorsFor(miniStream.size(), sectorSize));
    setPlace(entries[0], miniStreamStart, miniStream.size());
    miniFat.resize(sectorsFor(miniFat.size() * 4, sectorSize) * perSector, kFreeSector);
    const std::size_t miniFatSectors = miniFat.size() / perSector;
    const std::uint32_t miniFatStart = appendChain(fat, miniFatSectors);

    const std::size_t entriesPerSector = sectorSize / 128;
    const std::size_t directorySectors = sectorsFor(entries.size(), entriesPerSector);
    std::array<std::uint8_t, 128> unused{};
    put32(unused.data() + 68, kNoEntry);
    put32(unused.data() + 72, kNoEntry);
    put32(unused.data() + 76, kNoEntry);
    entries.resize(directorySectors * entriesPerSector, unused);
    const std::uint32_t directoryStart = appendChain(fat, directorySectors);

    // The FAT must also describe its own sectors and those of the DIFAT, which depend on its size.
    const bool placeLast = lastEntry < entries.size() && image.isStream[lastEntry] &&
                           image.streams[lastEntry].size() >= kMiniStreamCutoff;
    const std::size_t lastSectors = placeLast ? sectorsFor(image.streams[lastEntry].size(), sectorSize) : 0;
    const std::size_t dataSectors = fat.size() + lastSectors;
    std::size_t fatSectors = 0;
    std::size_t difatSectors = 0;
    for (;;) {
        const std::size_t total = dataSectors + fatSectors + difatSectors;
        const std::size_t needFat = sectorsFor(total * 4, sectorSize);
        const std::size_t needDifat = needFat > 109 ? sectorsFor(needFat - 109, perSector - 1) : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const auto fatStart = static_cast<std::uint32_t>(fat.size());
    fat.insert(fat.end(), fatSectors, kFatSector);
    const auto difatStart = static_cast<std::uint32_t>(fat.size());
    fat.insert(fat.end(), difatSectors, kDifatSector);
    if (placeLast) {
        setPlace(entries[lastEntry], appendChain(fat, lastSectors), image.streams[lastEntry].size());
        largeOrder.push_back(lastEntry);
    }
    fat.resize(fatSectors * perSector, kFreeSector);

    const std::size_t totalSectors = dataSectors + fatSectors + difatSectors;
    std::vector<std::uint8_t> out(sectorSize + totalSectors * sectorSize, 0);
    std::copy(image.header.begin(), image.header.end(), out.begin());
    std::uint8_t* header = out.data();
    // The layout above assumes these; a header that said otherwise would make readers look elsewhere.
    header[28] = 0xFE;
    header[29] = 0xFF;
    header[30] = sectorSize == 4096 ? 12 : 9;
    header[31] = 0;
    header[32] = 6;
    header[33] = 0;
    put32(header + 56, static_cast<std::uint32_t>(kMiniStreamCutoff));
    put32(header + 40, image.majorVersion == 3 ? 0 : static_cast<std::uint32_t>(directorySectors));
    put32(header + 44, static_cast<std::uint32_t>(fatSectors));
    put32(header + 48, directoryStart);
    put32(header + 60, miniFatSectors ? miniFatStart : kEndOfChain);
    put32(header + 64, static_cast<std::uint32_t>(miniFatSectors));
    put32(header + 68, difatSectors ? difatStart : kEndOfChain);
    put32(header + 72, static_cast<std::uint32_t>(difatSectors));
    for (std::size_t i = 0; i < 109; ++i)
        put32(header + 76 + 4 * i, i < fatSectors ? fatStart + static_cast<std::uint32_t>(i) : kFreeSector);

    auto sectorAt = [&](std::size_t index) { return out.data() + sectorSize * (index + 1); };
    for (std::size_t i : largeOrder) {
        const auto& data = image.streams[i];
        std::memcpy(sectorAt(startOf(entries[i])), data.data(), data.size());
    }
    if (!miniStream.empty())
        std::memcpy(sectorAt(miniStreamStart), miniStream.data(), miniStream.size());
    if (miniFatSectors)
        std::memcpy(sectorAt(miniFatStart), miniFat.data(), miniFat.size() * 4);
    for (std::size_t i = 0; i < entries.size(); ++i)
        std::memcpy(sectorAt(directoryStart) + 128 * i, entries[i].data(), 128);
    std::memcpy(sectorAt(fatStart), fat.data(), fat.size() * 4);
    for (std::size_t d = 0; d < difatSectors; ++d) {
        std::uint8_t* sector = sectorAt(difatStart + d);
        for (std::size_t k = 0; k < perSector - 1; ++k) {
            const std::size_t fatIndex = 109 + d * (perSector - 1) + k;
            put32(sector + 4 * k,
                  fatIndex < fatSectors ? fatStart + static_cast<std::uint32_t>(fatIndex) : kFreeSector);
        }
        put32(sector + 4 * (perSector - 1),
              d + 1 < difatSectors ? difatStart + static_cast<std::uint32_t>(d) + 1 : kEndOfChain);
    }
    return out;
}

} // namespace veltrum::workbook
