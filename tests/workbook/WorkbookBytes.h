// Test-only builders of BIFF8 records, Workbook streams and compound files, so that each test states
// the exact bytes a reader meets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook::testing {

using Bytes = std::vector<std::uint8_t>;

void putU8(Bytes& out, std::uint8_t value);
void putU16(Bytes& out, std::uint16_t value);
void putU32(Bytes& out, std::uint32_t value);
void putDouble(Bytes& out, double value);
Bytes operator+(Bytes a, const Bytes& b);

Bytes record(std::uint16_t type, const Bytes& payload);
// A string with a 16-bit count: one-byte characters from Latin-1 text, or UTF-16 from UTF-16 text.
Bytes xlString(std::string_view latin1);
Bytes xlString16(std::u16string_view text);

Bytes cellRecord(std::uint16_t type, std::uint16_t row, std::uint16_t column, std::uint16_t style,
                 const Bytes& rest = {});
Bytes numberCell(std::uint16_t row, std::uint16_t column, double value, std::uint16_t style = 0);
Bytes labelSstCell(std::uint16_t row, std::uint16_t column, std::uint32_t index, std::uint16_t style = 0);
// FORMULA with a cached special result: 0 text (a STRING record follows), 1 boolean, 2 error, 3 empty text.
Bytes formulaSpecial(std::uint16_t row, std::uint16_t column, std::uint8_t type, std::uint8_t value = 0);
Bytes formulaNumber(std::uint16_t row, std::uint16_t column, double value, std::uint16_t style = 0);
// An SST record holding the given entries, without any CONTINUE.
Bytes sstRecord(std::uint32_t count, const Bytes& entries);
Bytes formatRecord(std::uint16_t id, std::string_view format);
Bytes xfRecord(std::uint16_t format);

struct SheetPlan {
    std::string name;
    Bytes records; // everything between the sheet's BOF and EOF
    std::uint8_t type = 0;
};

struct WorkbookPlan {
    Bytes globals; // records after the globals' BOF, before the sheet list
    Bytes sst;     // SST and CONTINUE records, placed after the sheet list
    std::vector<SheetPlan> sheets;
    std::uint16_t version = 0x0600;
};

// A Workbook stream whose sheet list points at each sheet's BOF.
Bytes workbookStream(const WorkbookPlan& plan);

struct StreamPlan {
    std::string name;
    Bytes data;
};

// Where the builder put things, for tests that damage a file on purpose.
struct Layout {
    std::uint32_t sectorSize = 512;
    std::vector<std::uint32_t> streamStart; // per stream: first sector, or first mini sector
    std::uint32_t fatStart = 0;             // the FAT sectors are consecutive from here
    std::uint32_t fatSectors = 0;
    std::uint32_t miniFatStart = 0;
    std::uint32_t directoryStart = 0;

    std::size_t sectorOffset(std::uint32_t sector) const { return std::size_t{sector + 1} * sectorSize; }
    std::size_t fatEntryOffset(std::uint32_t sector) const;
    std::size_t miniFatEntryOffset(std::uint32_t miniSector) const;
    std::size_t directoryEntryOffset(std::uint32_t id) const;
};

// A compound file with the streams directly in the root; streams under 4096 bytes go to the mini
// stream. Version 3 has 512-byte sectors, version 4 4096-byte ones.
Bytes compoundFile(const std::vector<StreamPlan>& streams, int version = 3, Layout* layout = nullptr);
Bytes workbookFile(const WorkbookPlan& plan);

void patchU32(Bytes& bytes, std::size_t offset, std::uint32_t value);

} // namespace veltrum::workbook::testing
