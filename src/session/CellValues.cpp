#include "CellValues.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace veltrum::session {

using workbook::CellKind;

std::optional<double> numericValue(const workbook::Cell& cell) {
    switch (cell.kind) {
    case CellKind::Number:
    case CellKind::Date:
    case CellKind::Time:
    case CellKind::DateTime:
        return cell.number;
    case CellKind::Text: {
        const std::string& text = cell.text;
        const auto first = text.find_first_not_of(" \t");
        if (first == std::string::npos)
            return std::nullopt;
        const auto last = text.find_last_not_of(" \t");
        const char* begin = text.data() + first;
        const char* end = text.data() + last + 1;
        if (*begin == '+')
            ++begin;
        double value = 0.0;
        const auto [stop, error] = std::from_chars(begin, end, value);
        if (error != std::errc() || stop != end || !std::isfinite(value))
            return std::nullopt;
        return value;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> int16Problem(const workbook::Cell& cell) {
    if (cell.isEmpty())
        return "the cell is blank";
    const std::optional<double> value = numericValue(cell);
    if (!value)
        return "\"" + workbook::toDisplayText(cell) + "\" is not a number";
    const double rounded = std::nearbyint(*value);
    if (!(rounded >= Int16::minimum && rounded <= Int16::maximum))
        return workbook::toDisplayText(cell) + " is outside the range -32768 to 32767";
    return std::nullopt;
}

Int16 toInt16(const workbook::Cell& cell) {
    const std::optional<double> value = numericValue(cell);
    if (!value)
        throw std::invalid_argument("The cell \"" + workbook::toDisplayText(cell) + "\" is not a number.");
    return Int16::fromDouble(*value);
}

bool equalsOne(const workbook::Cell& cell) {
    const std::optional<double> value = numericValue(cell);
    return value && *value == 1.0;
}

std::string columnLetters(int column) {
    std::string letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters;
}

} // namespace veltrum::session
