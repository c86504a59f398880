#include "workbook/append/StructureCheck.h"

#include "workbook/WorkbookError.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/SharedStrings.h"
#include "workbook/compound/CompoundFile.h"

#include <cstring>
#include <exception>

namespace veltrum::workbook {

namespace {

void checkSheet(std::span<const std::uint8_t> stream, const BiffLayout& layout, const SheetInfo& sheet,
                const SharedStrings& strings, std::vector<std::string>& problems) {
    const auto& records = layout.records;
    const std::string where = "sheet \"" + sheet.name + "\": ";
    std::vector<std::uint32_t> dbCells;
    std::size_t index = SIZE_MAX;
    std::size_t dimensions = SIZE_MAX;
    for (std::size_t i = sheet.bof + 1; i < sheet.eof; ++i) {
        if (records[i].depth != 1)
            continue;
        if (records[i].type == record::DbCell)
            dbCells.push_back(records[i].offset);
        if (records[i].type == record::Index && index == SIZE_MAX)
            index = i;
        if (records[i].type == record::Dimensions)
            dimensions = i;
    }
    if (index != SIZE_MAX) {
        const RecordRef& ref = records[index];
        if (ref.size < 16 || (ref.size - 16) % 4 != 0) {
            problems.push_back(where + "INDEX has an odd length");
        } else {
            const std::size_t count = (ref.size - 16) / 4;
            if (count != dbCells.size())
                problems.push_back(where + "INDEX lists " + std::to_string(count) +
                                   " row blocks but the sheet has " + std::to_string(dbCells.size()));
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t at = layout.recordAt(get32(stream, ref.body() + 16 + 4 * k));
                if (at == SIZE_MAX || records[at].type != record::DbCell)
                    problems.push_back(where + "INDEX entry " + std::to_string(k) +
                                       " does not point at a DBCELL");
            }
        }
    }
    for (std::uint32_t position : dbCells) {
        const std::size_t at = layout.recordAt(position);
        const RecordRef& ref = records[at];
        if (ref.size < 4)
            continue;
        const std::uint32_t back = get32(stream, ref.body());
        const std::size_t firstRow = back <= ref.offset ? layout.recordAt(ref.offset - back) : SIZE_MAX;
        if (firstRow == SIZE_MAX || records[firstRow].type != record::Row) {
            problems.push_back(where + "a DBCELL does not point back at a ROW record");
            continue;
        }
        std::uint32_t reference = records[firstRow].end();
        for (std::size_t k = 0; 4 + 2 * k + 2 <= ref.size; ++k) {
            const std::uint16_t step = get16(stream, ref.body() + 4 + 2 * k);
            if (step == 0)
                continue;
            reference += step;
            const std::size_t cell = layout.recordAt(reference);
            if (cell == SIZE_MAX || !isCellRecord(records[cell].type)) {
                problems.push_back(where + "a DBCELL offset does not land on a cell record");
                break;
            }
        }
    }
    std::uint32_t rowMin = 0, rowEnd = 0;
    std::uint16_t columnMin = 0, columnEnd = 0;
    if (dimensions != SIZE_MAX && records[dimensions].size >= 14) {
        const std::size_t at = records[dimensions].body();
        rowMin = get32(stream, at);
        rowEnd = get32(stream, at + 4);
        columnMin = get16(stream, at + 8);
        columnEnd = get16(stream, at + 10);
    }
    for (std::size_t i = sheet.bof + 1; i < sheet.eof; ++i) {
        CellRef cell;
        if (records[i].depth != 1 || !readCell(stream, records[i], cell))
            continue;
        if (cell.row < rowMin || cell.row >= rowEnd || cell.firstColumn < columnMin ||
            cell.lastColumn >= columnEnd) {
            problems.push_back(where + "a cell at row " + std::to_string(cell.row + 1) +
                               " lies outside DIMENSIONS");
            break;
        }
        if (records[i].type == record::LabelSst && records[i].size >= 10 &&
            get32(stream, records[i].body() + 6) >= strings.uniqueCount()) {
            problems.push_back(where + "a cell refers to a shared string that does not exist");
            break;
        }
    }
}

void checkExtSst(std::span<const std::uint8_t> stream, const BiffLayout& layout, const SharedStrings& strings,
                 std::vector<std::string>& problems) {
    if (layout.sst.empty() || layout.extSst == SIZE_MAX)
        return;
    const RecordRef& ext = layout.records[layout.extSst];
    if (ext.size < 2 || (ext.size - 2) % 8 != 0) {
        problems.push_back("EXTSST has an odd length");
        return;
    }
    const std::uint16_t perBucket = get16(stream, ext.body());
    const std::size_t buckets = (ext.size - 2) / 8;
    // Some writers add empty buckets beyond the strings; only the buckets that hold strings count.
    const std::size_t used = perBucket == 0 ? 0 : (strings.uniqueCount() + perBucket - 1) / perBucket;
    if (perBucket == 0 || buckets < used) {
        problems.push_back("EXTSST has fewer buckets than the shared string table needs");
        return;
    }
    for (std::size_t b = 0; b < used; ++b) {
        const std::uint32_t position = get32(stream, ext.body() + 2 + 8 * b);
        const std::uint16_t inRecord = get16(stream, ext.body() + 6 + 8 * b);
        const std::uint32_t expected = strings.stringPosition(static_cast<std::uint32_t>(b * perBucket));
        if (position != expected || position < inRecord || layout.recordAt(position - inRecord) == SIZE_MAX) {
            problems.push_back("EXTSST bucket " + std::to_string(b) + " does not point at its string");
            return;
        }
    }
}

} // namespace

std::vector<std::string> checkCompoundSectors(std::span<const std::uint8_t> file) {
    std::vector<std::string> problems;
    try {
        const CompoundFile compound(std::vector<std::uint8_t>(file.begin(), file.end()));
        (void)compound;
    } catch (const std::exception& error) {
        problems.push_back(std::string("compound file: ") + error.what());
        return problems;
    }
    // Walk every chain by hand: FAT sectors, DIFAT, directory, mini FAT, every stream; each sector once.
    const std::uint32_t shift = file[30] | (file[31] << 8);
    const std::size_t sectorSize = std::size_t(1) << shift;
    const std::size_t sectors = (file.size() - sectorSize) / sectorSize;
    std::vector<std::uint32_t> fat;
    std::vector<int> uses(sectors, 0);
    auto use = [&](std::uint32_t s) {
        if (s < sectors)
            ++uses[s];
    };
    const std::uint32_t fatCount = get32(file, 44);
    std::vector<std::uint32_t> fatSectors;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(fatCount, 109); ++i)
        fatSectors.push_back(get32(file, 76 + 4 * i));
    for (std::uint32_t d = get32(file, 68); d < sectors && fatSectors.size() < fatCount;) {
        use(d);
        const std::size_t at = sectorSize * (d + 1);
        for (std::size_t k = 0; k + 1 < sectorSize / 4 && fatSectors.size() < fatCount; ++k)
            fatSectors.push_back(get32(file, at + 4 * k));
        d = get32(file, at + sectorSize - 4);
    }
    for (std::uint32_t s : fatSectors) {
        use(s);
        for (std::size_t k = 0; k < sectorSize / 4 && s < sectors; ++k)
            fat.push_back(get32(file, sectorSize * (s + 1) + 4 * k));
    }
    auto walk = [&](std::uint32_t start) {
        for (std::uint32_t s = start, steps = 0; s < sectors && s < fat.size() && steps <= sectors;
             s = fat[s], ++steps)
            use(s);
    };
    walk(get32(file, 48));
    walk(get32(file, 60));
    const CompoundFile compound(std::vector<std::uint8_t>(file.begin(), file.end()));
    for (const DirectoryEntry& entry : compound.entries()) {
        if ((entry.type == EntryType::Stream && entry.size >= compound.miniStreamCutoff()) ||
            entry.type == EntryType::Root)
            walk(entry.startSector);
    }
    // The same for the 64-byte sectors of the mini stream and its allocation table.
    std::vector<std::uint32_t> miniFat;
    for (std::uint32_t s = get32(file, 60), steps = 0; s < sectors && s < fat.size() && steps <= sectors;
         s = fat[s], ++steps) {
        for (std::size_t k = 0; k < sectorSize / 4; ++k)
            miniFat.push_back(get32(file, sectorSize * (s + 1) + 4 * k));
    }
    const std::size_t miniSectors = compound.entries().empty() ? 0 : compound.entries()[0].size / 64;
    std::vector<int> miniUses(miniFat.size(), 0);
    for (const DirectoryEntry& entry : compound.entries()) {
        if (entry.type != EntryType::Stream || entry.size >= compound.miniStreamCutoff() || entry.size == 0)
            continue;
        for (std::uint32_t s = entry.startSector, steps = 0; s < miniFat.size() && steps <= miniFat.size();
             s = miniFat[s], ++steps) {
            ++miniUses[s];
            if (s >= miniSectors)
                problems.push_back("compound file: a small stream runs past the end of the mini stream");
        }
    }
    for (std::size_t s = 0; s < miniFat.size(); ++s) {
        if (miniUses[s] > 1)
            problems.push_back("compound file: mini sector " + std::to_string(s) + " is used twice");
        else if (miniFat[s] != CompoundFile::FreeSector && miniUses[s] == 0)
            problems.push_back("compound file: mini sector " + std::to_string(s) +
                               " is allocated but used by nothing");
    }
    for (std::size_t s = 0; s < sectors && s < fat.size(); ++s) {
        const bool allocated = fat[s] != CompoundFile::FreeSector;
        if (uses[s] > 1)
            problems.push_back("compound file: sector " + std::to_string(s) + " is used twice");
        else if (allocated && uses[s] == 0)
            problems.push_back("compound file: sector " + std::to_string(s) +
                               " is allocated but used by nothing");
        else if (!allocated && uses[s] == 1)
            problems.push_back("compound file: sector " + std::to_string(s) + " is used but marked free");
    }
    return problems;
}

std::vector<std::string> checkWorkbookStructure(std::span<const std::uint8_t> file) {
    std::vector<std::string> problems = checkCompoundSectors(file);
    if (!problems.empty())
        return problems;
    try {
        const CompoundFile compound(std::vector<std::uint8_t>(file.begin(), file.end()));
        const auto id = compound.findStream("Workbook");
        if (!id)
            return {"no Workbook stream"};
        const std::vector<std::uint8_t> stream = compound.readStream(*id);
        const BiffLayout layout = BiffLayout::parse(stream, "workbook");
        if (layout.encrypted)
            return {};
        const SharedStrings strings = SharedStrings::parse(layout.globals.sharedStrings);
        for (const SheetInfo& sheet : layout.sheets) {
            if (sheet.eof >= layout.records.size()) {
                problems.push_back("sheet \"" + sheet.name + "\" has no EOF");
                continue;
            }
            checkSheet(stream, layout, sheet, strings, problems);
        }
        checkExtSst(stream, layout, strings, problems);
    } catch (const std::exception& error) {
        problems.push_back(error.what());
    }
    return problems;
}

} // namespace veltrum::workbook
