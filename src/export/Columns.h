// The two exported tables: their columns, each with the kind of value it holds, and how a workbook's
// cell (or a recovery file's text) becomes that value. The session workbooks hold their times and the
// summary its rates and counts as texts (or the number 0); here every one of them becomes a number.
#pragma once

#include "workbook/Cell.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veltrum::exporting {

enum class ValueType {
    Text,
    Integer, // a whole number (a fraction is kept as written)
    Real,
    Date, // YYYY-MM-DD
    Time, // HH:MM:SS
};

struct Column {
    std::string_view name;   // the exported column
    std::string_view header; // the workbook's column it comes from ("" for the export's own columns)
    ValueType type;
};

// subject, session, row, the thirteen trial columns (with phase_name after phase), source_file,
// source_kind.
std::span<const Column> trialColumns();
// subject, session, row, then the summary's columns (with phase_name after phase).
std::span<const Column> sessionColumns();

// The cell as the column's type, as CSV text not yet quoted ("" for an empty cell); nothing when the
// value is not of that type (a word in a number column, a number that is no date).
std::optional<std::string> typedValue(ValueType type, const workbook::Cell& cell);

// "MagTrain", "Auto", "SuccDisc", "SimDisc" for the phase numbers 1 to 4, "" otherwise.
std::string_view phaseName(std::string_view phaseNumber);

} // namespace veltrum::exporting
