// Which number formats show a number as a date, a time of day or both: from the built-in format
// ids and from the text of custom formats, so that cells read back with the kind users see.
#pragma once

#include "workbook/Cell.h"

#include <cstdint>
#include <string_view>

namespace veltrum::workbook {

// Number, Date, Time or DateTime for a built-in format id that no FORMAT record redefines.
CellKind builtInFormatKind(std::uint16_t id);
// Number, Date, Time or DateTime for a format's text ("yyyy-mm-dd", "[h]:mm:ss", "0.00", ...).
CellKind formatTextKind(std::string_view format);

} // namespace veltrum::workbook
