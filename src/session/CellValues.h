// How the session reads workbook cells as numbers: integers for parameters and summary columns.
#pragma once

#include "forms/Int16.h"
#include "workbook/Cell.h"

#include <optional>
#include <string>

namespace veltrum::session {

using forms::Int16;

// The cell's number: numbers and dates as stored, text that reads wholly as a decimal number (spaces
// around it allowed) as that number. nullopt for blank cells, other text, booleans and errors.
std::optional<double> numericValue(const workbook::Cell& cell);

// Why a cell cannot become a 16-bit integer (blank, not a number, out of range), or nullopt when it can.
std::optional<std::string> int16Problem(const workbook::Cell& cell);

// The cell as a 16-bit integer, rounded half to even. Call int16Problem first: throws otherwise.
Int16 toInt16(const workbook::Cell& cell);

// Whether the cell holds the number 1 (a numeric text "1" counts; blank cells do not).
bool equalsOne(const workbook::Cell& cell);

// Spreadsheet column letters for a column counted from 0: 0 -> "A", 27 -> "AB".
std::string columnLetters(int column);

} // namespace veltrum::session
