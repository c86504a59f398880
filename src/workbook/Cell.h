// One cell value as a workbook holds it, with the kind a spreadsheet program shows it as.
#pragma once

#include <cstdint>
#include <string>

namespace veltrum::workbook {

enum class CellKind {
    Empty, // no cell, or a blank (formatted but valueless) cell
    Number,
    Text,
    Boolean,
    Error,
    Date,     // a number shown through a date format, whole days
    Time,     // a number shown through a time-only format
    DateTime, // a number shown through a format with both date and time parts
};

struct Cell {
    CellKind kind = CellKind::Empty;
    // Number: the value. Date, DateTime: days since 1899-12-30 with the time of day as the fraction,
    // whatever date system the workbook uses (1904 serials are shifted on reading). Time: days, the
    // time of day as the fraction (or a duration), the same in both date systems.
    double number = 0.0;
    std::string text;           // Text: UTF-8
    bool boolean = false;       // Boolean
    std::uint8_t errorCode = 0; // Error: the stored code (0x07 #DIV/0!, 0x2A #N/A, ...)
    bool blank = false;         // Empty: true when a blank cell record exists (told apart from no cell)
    bool fromFormula = false;   // the value is the cached result of a formula

    bool isEmpty() const { return kind == CellKind::Empty; }
};

// "empty", "number", "text", "boolean", "error", "date", "time" or "datetime".
const char* kindName(CellKind kind);

// The shortest decimal text that reads back as the same double; whole numbers without ".0",
// -0 as "0", and "#NUM!" for infinities and NaN, which a workbook cannot hold.
std::string formatNumber(double value);

// The cell as text: numbers in the shortest form that reads back as the same double, dates as
// YYYY-MM-DD, times as HH:MM:SS (with .fff when not whole seconds), date-times as "YYYY-MM-DD HH:MM:SS",
// booleans as TRUE/FALSE, errors as #DIV/0! and the like, empty as "".
std::string toDisplayText(const Cell& cell);

} // namespace veltrum::workbook
