#include "workbook/Cell.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace veltrum::workbook {

namespace {

constexpr std::int64_t MillisecondsPerDay = 86'400'000;
// Serials outside 0001-01-01 .. 9999-12-31 are shown as plain numbers.
constexpr double FirstSerial = -693'593.0;
constexpr double LastSerial = 2'958'466.0;

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// Proleptic Gregorian date of a day count from 1970-01-01.
CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<std::uint64_t>(days - era * 146097);
    const std::uint64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint64_t mp = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<unsigned>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const auto month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    const auto year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

std::string dateText(std::int64_t daysSince18991230) {
    const CivilDate date = civilFromDays(daysSince18991230 - 25569);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(date.year), date.month,
                  date.day);
    return buffer;
}

std::string clockText(std::int64_t milliseconds) {
    const std::int64_t seconds = milliseconds / 1000;
    const auto fraction = static_cast<int>(milliseconds % 1000);
    char buffer[48];
    int length =
        std::snprintf(buffer, sizeof buffer, "%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    if (fraction != 0)
        std::snprintf(buffer + length, sizeof buffer - length, ".%03d", fraction);
    return buffer;
}

std::string dateOrTimeText(const Cell& cell) {
    if (!(cell.number >= FirstSerial && cell.number < LastSerial))
        return formatNumber(cell.number);
    const auto total = static_cast<std::int64_t>(std::llround(cell.number * MillisecondsPerDay));
    if (cell.kind == CellKind::Time) {
        // Elapsed hours go on past 24, as in a [h]:mm:ss column.
        return total < 0 ? "-" + clockText(-total) : clockText(total);
    }
    std::int64_t days = total / MillisecondsPerDay;
    std::int64_t ofDay = total % MillisecondsPerDay;
    if (ofDay < 0) {
        --days;
        ofDay += MillisecondsPerDay;
    }
    if (cell.kind == CellKind::Date)
        return dateText(days);
    return dateText(days) + " " + clockText(ofDay);
}

const char* errorText(std::uint8_t code) {
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    case 0x2B:
        return "#GETTING_DATA";
    default:
        return "#ERROR!";
    }
}

} // namespace

const char* kindName(CellKind kind) {
    switch (kind) {
    case CellKind::Empty:
        return "empty";
    case CellKind::Number:
        return "number";
    case CellKind::Text:
        return "text";
    case CellKind::Boolean:
        return "boolean";
    case CellKind::Error:
        return "error";
    case CellKind::Date:
        return "date";
    case CellKind::Time:
        return "time";
    case CellKind::DateTime:
        return "datetime";
    }
    return "empty";
}

std::string formatNumber(double value) {
    if (!std::isfinite(value))
        return "#NUM!";
    if (value == 0.0)
        return "0";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string toDisplayText(const Cell& cell) {
    switch (cell.kind) {
    case CellKind::Empty:
        return {};
    case CellKind::Number:
        return formatNumber(cell.number);
    case CellKind::Text:
        return cell.text;
    case CellKind::Boolean:
        return cell.boolean ? "TRUE" : "FALSE";
    case CellKind::Error:
        return errorText(cell.errorCode);
    case CellKind::Date:
    case CellKind::Time:
    case CellKind::DateTime:
        return dateOrTimeText(cell);
    }
    return {};
}

} // namespace veltrum::workbook
