// The workbook-wide part of a BIFF8 Workbook stream, read once for reader and appender alike: sheet
// list, number formats, cell formats (XF), shared strings, date system and code page.
#pragma once

#include "workbook/Cell.h"
#include "workbook/biff/Records.h"

#include <cstddef>
#include <cstdint>
#include <optional>
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
    std::size_t recordOffset = 0; // of the BOUNDSHEET record itself
};

struct NumberFormat {
    std::uint16_t id = 0;
    std::string text; // UTF-8
};

struct CellFormat {
    std::uint16_t numberFormat = 0;
    bool isStyle = false;         // a style, not a format cells use
    std::size_t recordOffset = 0; // of the XF record
};

struct WorkbookGlobals {
    std::vector<BoundSheet> sheets;
    std::vector<NumberFormat> formats; // custom number formats
    std::vector<CellFormat> cellFormats;
    std::vector<BiffRecord> sharedStrings; // the SST record and its CONTINUE records
    std::optional<std::size_t> extSstOffset;
    bool date1904 = false;
    bool encrypted = false; // a FILEPASS record: the rest of the stream is not readable
    std::uint16_t codePage = 1200;
    std::size_t eofOffset = 0; // of the globals' EOF record
    std::size_t end = 0;       // stream offset just past the globals' EOF record

    // The text of custom number format `id`, or nullptr for a built-in one.
    const std::string* formatText(std::uint16_t id) const;
    // Number, Date, Time or DateTime: how cell format `xf` shows a number.
    CellKind kindOf(const CellFormat& format) const;
};

// Reads from the globals' BOF (at offset 0, checked by the caller) to their EOF; throws BiffError.
// Stops early, with `encrypted` set, at a FILEPASS record.
WorkbookGlobals readWorkbookGlobals(std::span<const std::uint8_t> stream);

} // namespace veltrum::workbook
