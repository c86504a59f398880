#include "AppendCommand.h"

#include "workbook/Appender.h"
#include "workbook/Workbook.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace veltrum::workbook {

namespace {

[[noreturn]] void malformed(const std::string& argument, const std::string& why) {
    throw WorkbookError("argument \"" + argument + "\": " + why);
}

bool parseDate(const std::string& text, int& year, int& month, int& day) {
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 ||
        used != int(text.size()))
        return false;
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

bool parseTime(const std::string& text, int& hour, int& minute, double& second) {
    int used = 0;
    second = 0;
    if (std::sscanf(text.c_str(), "%2d:%2d%n", &hour, &minute, &used) != 2)
        return false;
    if (used < int(text.size())) {
        if (text[used] != ':')
            return false;
        char* end = nullptr;
        second = std::strtod(text.c_str() + used + 1, &end);
        if (end != text.c_str() + text.size() || end == text.c_str() + used + 1)
            return false;
    }
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

} // namespace

AppendField parseFieldArgument(const std::string& argument) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos || equals == 0)
        malformed(argument, "expected Header=value or Header:kind=value");
    std::string header = argument.substr(0, equals);
    const std::string value = argument.substr(equals + 1);
    std::string kind = "text";
    for (const char* known : {"number", "text", "date", "time", "datetime", "empty"}) {
        const std::string suffix = std::string(":") + known;
        if (header.size() > suffix.size() &&
            header.compare(header.size() - suffix.size(), suffix.size(), suffix) == 0) {
            kind = known;
            header.resize(header.size() - suffix.size());
            break;
        }
    }
    if (kind == "empty" || (kind != "text" && value.empty()))
        return {header, AppendValue::empty()};
    if (kind == "text")
        return {header, AppendValue::fromText(value)};
    if (kind == "number") {
        char* end = nullptr;
        errno = 0;
        const double number = std::strtod(value.c_str(), &end);
        if (end != value.c_str() + value.size() || errno == ERANGE || !std::isfinite(number))
            malformed(argument, "not a number");
        return {header, AppendValue::fromNumber(number)};
    }
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    if (kind == "date") {
        if (!parseDate(value, year, month, day))
            malformed(argument, "not a date (YYYY-MM-DD)");
        return {header, AppendValue::fromDate(year, month, day)};
    }
    if (kind == "time") {
        if (!parseTime(value, hour, minute, second))
            malformed(argument, "not a time (HH:MM:SS)");
        return {header, AppendValue::fromTime(hour, minute, second)};
    }
    const auto split = value.find_first_of(" T");
    if (split == std::string::npos || !parseDate(value.substr(0, split), year, month, day) ||
        !parseTime(value.substr(split + 1), hour, minute, second))
        malformed(argument, "not a date and time (YYYY-MM-DD HH:MM:SS)");
    return {header, AppendValue::fromDateTime(year, month, day, hour, minute, second)};
}

int appendCommand(const std::vector<std::string>& args) {
    if (args.size() < 3)
        return 2;
    AppendRow row;
    for (std::size_t i = 2; i < args.size(); ++i)
        row.push_back(parseFieldArgument(args[i]));
    appendRecords(args[0], args[1], {row});
    return 0;
}

} // namespace veltrum::workbook
