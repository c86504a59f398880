// The workbook-wide part of a BIFF8 Workbook stream: sheet list, shared strings, number formats
// and cell styles (as the kind of value each style shows), date system and code page.
#pragma once

#include "workbook/Cell.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrum::workbook {

enum class SheetType : std::uint8_t { Worksheet = 0, MacroSheet = 1, Chart = 2, VisualBasicModule = 6 };

struct BoundSheet {
    std::string name;
    std::uint32_t position = 0; // stream offset of the sheet's BOF record
    std::uint8_t type = 0;      // SheetType value as stored
    std::uint8_t visibility = 0;
};

struct WorkbookGlobals {
    std::vector<BoundSheet> sheets;
    std::vector<std::string> sharedStrings;
    std::vector<CellKind> styleKinds; // per XF index: Number, Date, Time or DateTime
    bool date1904 = false;
    bool encrypted = false; // a FILEPASS record: the rest of the stream is not readable
    std::uint16_t codePage = 1200;
    std::size_t end = 0; // stream offset just past the globals' EOF record
};

// Reads from the globals' BOF (already checked by the caller) to their EOF; throws BiffError.
// Stops early, with `encrypted` set, at a FILEPASS record.
WorkbookGlobals readWorkbookGlobals(std::span<const std::uint8_t> stream);

} // namespace veltrum::workbook
