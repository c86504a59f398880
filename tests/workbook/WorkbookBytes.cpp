#include "WorkbookBytes.h"

#include <algorithm>
#include <bit>

namespace veltrum::workbook::testing {

namespace {

constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t Free = 0xFFFFFFFF;
constexpr std::uint32_t Cutoff = 4096;

std::uint32_t ceilDiv(std::size_t a, std::size_t b) {
    return static_cast<std::uint32_t>((a + b - 1) / b);
}

} // namespace

void putU8(Bytes& out, std::uint8_t value) {
    out.push_back(value);
}

void putU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(Bytes& out, std::uint32_t value) {
    putU16(out, static_cast<std::uint16_t>(value));
    putU16(out, static_cast<std::uint16_t>(value >> 16));
}

void putDouble(Bytes& out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    putU32(out, static_cast<std::uint32_t>(bits));
    putU32(out, static_cast<std::uint32_t>(bits >> 32));
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void patchU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes record(std::uint16_t type, const Bytes& payload) {
    Bytes out;
    putU16(out, type);
    putU16(out, static_cast<std::uint16_t>(payload.size()));
    return out + payload;
}

Bytes xlString(std::string_view latin1) {
    Bytes out;
    putU16(out, static_cast<std::uint16_t>(latin1.size()));
    putU8(out, 0);
    out.insert(out.end(), latin1.begin(), latin1.end());
    return out;
}

Bytes xlString16(std::u16string_view text) {
    Bytes out;
    putU16(out, static_cast<std::uint16_t>(text.size()));
    putU8(out, 1);
    for (char16_t c : text)
        putU16(out, c);
    return out;
}

Bytes cellRecord(std::uint16_t type, std::uint16_t row, std::uint16_t column, std::uint16_t style,
                 const Bytes& rest) {
    Bytes payload;
    putU16(payload, row);
    putU16(payload, column);
    putU16(payload, style);
    return record(type, payload + rest);
}

Bytes numberCell(std::uint16_t row, std::uint16_t column, double value, std::uint16_t style) {
    Bytes rest;
    putDouble(rest, value);
    return cellRecord(0x0203, row, column, style, rest);
}

Bytes labelSstCell(std::uint16_t row, std::uint16_t column, std::uint32_t index, std::uint16_t style) {
    Bytes rest;
    putU32(rest, index);
    return cellRecord(0x00FD, row, column, style, rest);
}

Bytes formulaSpecial(std::uint16_t row, std::uint16_t column, std::uint8_t type, std::uint8_t value) {
    Bytes rest{type, 0, value, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 3, 0, 0x1E, 1, 0};
    return cellRecord(0x0006, row, column, 0, rest);
}

Bytes formulaNumber(std::uint16_t row, std::uint16_t column, double value, std::uint16_t style) {
    Bytes rest;
    putDouble(rest, value);
    rest = rest + Bytes{0, 0, 0, 0, 0, 0, 3, 0, 0x1E, 1, 0};
    return cellRecord(0x0006, row, column, style, rest);
}

Bytes sstRecord(std::uint32_t count, const Bytes& entries) {
    Bytes payload;
    putU32(payload, count);
    putU32(payload, count);
    return record(0x00FC, payload + entries);
}

Bytes formatRecord(std::uint16_t id, std::string_view format) {
    Bytes payload;
    putU16(payload, id);
    return record(0x041E, payload + xlString(format));
}

Bytes xfRecord(std::uint16_t format) {
    Bytes payload;
    putU16(payload, 0);
    putU16(payload, format);
    payload.resize(20);
    return record(0x00E0, payload);
}

Bytes workbookStream(const WorkbookPlan& plan) {
    const auto bof = [&plan](std::uint16_t type) {
        Bytes payload;
        putU16(payload, plan.version);
        putU16(payload, type);
        payload.resize(16);
        return record(0x0809, payload);
    };
    const Bytes eof = record(0x000A, {});
    Bytes stream = bof(0x0005) + plan.globals;
    std::vector<std::size_t> positionFields;
    for (const SheetPlan& sheet : plan.sheets) {
        Bytes payload{0, 0, 0, 0, 0, sheet.type, static_cast<std::uint8_t>(sheet.name.size()), 0};
        payload.insert(payload.end(), sheet.name.begin(), sheet.name.end());
        positionFields.push_back(stream.size() + 4);
        stream = stream + record(0x0085, payload);
    }
    stream = stream + plan.sst + eof;
    for (std::size_t i = 0; i < plan.sheets.size(); ++i) {
        patchU32(stream, positionFields[i], static_cast<std::uint32_t>(stream.size()));
        const std::uint16_t type = plan.sheets[i].type == 2   ? 0x0020
                                   : plan.sheets[i].type == 1 ? 0x0040
                                                              : 0x0010;
        stream = stream + bof(type) + plan.sheets[i].records + eof;
    }
    return stream;
}

std::size_t Layout::fatEntryOffset(std::uint32_t sector) const {
    const std::uint32_t perSector = sectorSize / 4;
    return sectorOffset(fatStart + sector / perSector) + 4 * (sector % perSector);
}

std::size_t Layout::miniFatEntryOffset(std::uint32_t miniSector) const {
    const std::uint32_t perSector = sectorSize / 4;
    return sectorOffset(miniFatStart + miniSector / perSector) + 4 * (miniSector % perSector);
}

std::size_t Layout::directoryEntryOffset(std::uint32_t id) const {
    const std::uint32_t perSector = sectorSize / 128;
    return sectorOffset(directoryStart + id / perSector) + 128 * (id % perSector);
}

Bytes compoundFile(const std::vector<StreamPlan>& streams, int version, Layout* layoutOut) {
    Layout layout;
    layout.sectorSize = version == 4 ? 4096 : 512;
    const std::uint32_t sectorSize = layout.sectorSize;
    const std::uint32_t perSector = sectorSize / 4;

    // Regular streams first, then the mini stream, mini FAT, directory, FAT and FAT index.
    std::vector<std::uint32_t> fat;
    const auto allocate = [&fat](std::uint32_t count) {
        const auto start = static_cast<std::uint32_t>(fat.size());
        for (std::uint32_t i = 0; i < count; ++i)
            fat.push_back(i + 1 == count ? EndOfChain : start + i + 1);
        return count == 0 ? EndOfChain : start;
    };
    Bytes mini;
    std::vector<std::uint32_t> miniFat;
    for (const StreamPlan& stream : streams) {
        if (stream.data.size() >= Cutoff) {
            layout.streamStart.push_back(allocate(ceilDiv(stream.data.size(), sectorSize)));
        } else {
            const std::uint32_t count = ceilDiv(stream.data.size(), 64);
            const auto start = static_cast<std::uint32_t>(miniFat.size());
            for (std::uint32_t i = 0; i < count; ++i)
                miniFat.push_back(i + 1 == count ? EndOfChain : start + i + 1);
            layout.streamStart.push_back(count == 0 ? EndOfChain : start);
            mini = mini + stream.data;
            mini.resize(std::size_t{miniFat.size()} * 64);
        }
    }
    const std::uint32_t miniStart = allocate(ceilDiv(mini.size(), sectorSize));
    const std::uint32_t miniFatSectors = ceilDiv(miniFat.size() * 4, sectorSize);
    layout.miniFatStart = allocate(miniFatSectors);
    const std::uint32_t directorySectors = ceilDiv((streams.size() + 1) * 128, sectorSize);
    layout.directoryStart = allocate(directorySectors);
    std::uint32_t fatSectors = 0;
    std::uint32_t difatSectors = 0;
    for (;;) {
        const std::uint32_t needed = ceilDiv(fat.size() + fatSectors + difatSectors, perSector);
        const std::uint32_t difatNeeded = needed > 109 ? ceilDiv(needed - 109, perSector - 1) : 0;
        if (needed == fatSectors && difatNeeded == difatSectors)
            break;
        fatSectors = needed;
        difatSectors = difatNeeded;
    }
    layout.fatStart = static_cast<std::uint32_t>(fat.size());
    layout.fatSectors = fatSectors;
    fat.insert(fat.end(), fatSectors, 0xFFFFFFFD);
    const auto difatStart = static_cast<std::uint32_t>(fat.size());
    fat.insert(fat.end(), difatSectors, 0xFFFFFFFC);
    const auto totalSectors = static_cast<std::uint32_t>(fat.size());
    fat.resize(std::size_t{fatSectors} * perSector, Free);

    Bytes file(std::size_t{totalSectors + 1} * sectorSize, 0);
    const Bytes signature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(signature.begin(), signature.end(), file.begin());
    Bytes header;
    putU16(header, 0x3E);
    putU16(header, static_cast<std::uint16_t>(version));
    putU16(header, 0xFFFE);
    putU16(header, version == 4 ? 12 : 9);
    putU16(header, 6);
    header.resize(header.size() + 6);
    putU32(header, version == 4 ? directorySectors : 0);
    putU32(header, fatSectors);
    putU32(header, layout.directoryStart);
    putU32(header, 0);
    putU32(header, Cutoff);
    putU32(header, miniFatSectors ? layout.miniFatStart : EndOfChain);
    putU32(header, miniFatSectors);
    putU32(header, difatSectors ? difatStart : EndOfChain);
    putU32(header, difatSectors);
    for (std::uint32_t i = 0; i < 109; ++i)
        putU32(header, i < fatSectors ? layout.fatStart + i : Free);
    std::copy(header.begin(), header.end(), file.begin() + 24);

    const auto put = [&](std::uint32_t sector, const Bytes& data) {
        std::copy(data.begin(), data.end(),
                  file.begin() + static_cast<std::ptrdiff_t>(layout.sectorOffset(sector)));
    };
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (streams[i].data.size() >= Cutoff)
            put(layout.streamStart[i], streams[i].data);
    }
    if (!mini.empty())
        put(miniStart, mini);
    Bytes table;
    for (std::uint32_t entry : miniFat)
        putU32(table, entry);
    table.resize(std::size_t{miniFatSectors} * sectorSize, 0xFF);
    if (miniFatSectors)
        put(layout.miniFatStart, table);
    table.clear();
    for (std::uint32_t entry : fat)
        putU32(table, entry);
    put(layout.fatStart, table);
    for (std::uint32_t d = 0; d < difatSectors; ++d) {
        Bytes index;
        for (std::uint32_t k = 0; k + 1 < perSector; ++k) {
            const std::uint32_t n = 109 + d * (perSector - 1) + k;
            putU32(index, n < fatSectors ? layout.fatStart + n : Free);
        }
        putU32(index, d + 1 < difatSectors ? difatStart + d + 1 : EndOfChain);
        put(difatStart + d, index);
    }

    Bytes directory;
    const auto entry = [&directory](std::u16string_view name, std::uint8_t type, std::uint32_t right,
                                    std::uint32_t child, std::uint32_t start, std::uint32_t size) {
        Bytes e(128, 0);
        for (std::size_t i = 0; i < name.size(); ++i) {
            e[2 * i] = static_cast<std::uint8_t>(name[i]);
            e[2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
        }
        Bytes fields;
        putU16(fields, static_cast<std::uint16_t>(name.empty() ? 0 : 2 * (name.size() + 1)));
        putU8(fields, type);
        putU8(fields, 1);
        putU32(fields, Free);
        putU32(fields, right);
        putU32(fields, child);
        std::copy(fields.begin(), fields.end(), e.begin() + 0x40);
        patchU32(e, 0x74, start);
        patchU32(e, 0x78, size);
        directory = directory + e;
    };
    entry(u"Root Entry", 5, Free, streams.empty() ? Free : 1, mini.empty() ? EndOfChain : miniStart,
          static_cast<std::uint32_t>(mini.size()));
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::u16string name(streams[i].name.begin(), streams[i].name.end());
        entry(name, 2, i + 1 < streams.size() ? static_cast<std::uint32_t>(i + 2) : Free, Free,
              layout.streamStart[i], static_cast<std::uint32_t>(streams[i].data.size()));
    }
    while (directory.size() < std::size_t{directorySectors} * sectorSize)
        entry(u"", 0, Free, Free, 0, 0);
    put(layout.directoryStart, directory);

    if (layoutOut)
        *layoutOut = layout;
    return file;
}

Bytes workbookFile(const WorkbookPlan& plan) {
    return compoundFile({{"Workbook", workbookStream(plan)}});
}

} // namespace veltrum::workbook::testing
