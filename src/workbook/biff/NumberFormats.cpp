#include "workbook/biff/NumberFormats.h"

#include <string>

namespace veltrum::workbook {

CellKind builtInFormatKind(std::uint16_t id) {
    // 14-22 and 45-47 are the common date and time formats; 27-36 and 50-58 are the East Asian
    // locales' date formats (their time-only members in 32-35 and 55-56); 71-81 the Thai ones.
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) ||
        (id >= 57 && id <= 58) || (id >= 71 && id <= 74) || id == 81)
        return CellKind::Date;
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47) ||
        (id >= 55 && id <= 56) || (id >= 75 && id <= 76) || (id >= 78 && id <= 80))
        return CellKind::Time;
    if (id == 22 || id == 77)
        return CellKind::DateTime;
    return CellKind::Number;
}

namespace {

bool sameLetters(std::string_view text, std::size_t at, std::string_view letters) {
    if (text.size() - at < letters.size())
        return false;
    for (std::size_t k = 0; k < letters.size(); ++k) {
        if ((text[at + k] | 0x20) != letters[k])
            return false;
    }
    return true;
}

// Length of an AM/PM or A/P marker (without its slash) at `at`, or 0.
std::size_t clockMarkerLength(std::string_view reduced, std::size_t at) {
    if (sameLetters(reduced, at, "ampm"))
        return 4;
    if (sameLetters(reduced, at, "ap"))
        return 2;
    return 0;
}

} // namespace

CellKind formatTextKind(std::string_view format) {
    // Drop quoted text, the character after \ _ or *, and separators, keeping bracketed sections
    // aside: a bracket holds a colour or locale, or an elapsed-time part such as [h] or [mm].
    std::string reduced;
    std::string bracket;
    bool elapsedTime = false;
    enum class State { Plain, Quoted, Escaped, Bracket } state = State::Plain;
    for (char c : format) {
        switch (state) {
        case State::Plain:
            if (c == '"')
                state = State::Quoted;
            else if (c == '\\' || c == '_' || c == '*')
                state = State::Escaped;
            else if (c == '[') {
                state = State::Bracket;
                bracket.clear();
            } else if (std::string_view("$-+/(): ").find(c) == std::string_view::npos)
                reduced.push_back(c);
            break;
        case State::Quoted:
            if (c == '"')
                state = State::Plain;
            break;
        case State::Escaped:
            state = State::Plain;
            break;
        case State::Bracket:
            if (c != ']') {
                bracket.push_back(c);
            } else {
                state = State::Plain;
                elapsedTime = elapsedTime ||
                              (!bracket.empty() && bracket.find_first_not_of("hHmMsS") == std::string::npos);
            }
            break;
        }
    }
    if (reduced == "General" || reduced == "GENERAL" || reduced == "general" || reduced == "@" ||
        reduced == "0.00E00" || reduced == "##0.0E0")
        return CellKind::Number;

    int dateCount = 0;
    int numberCount = 0;
    bool hasDay = false;
    bool hasHourOrSecond = elapsedTime;
    bool hasMonthOrMinute = false;
    for (std::size_t i = 0; i < reduced.size(); ++i) {
        const char c = static_cast<char>(reduced[i] | 0x20);
        // "AM/PM" and "A/P" (separators already gone) mark a clock time, even as its only time
        // element, and hold no months.
        const std::size_t marker = clockMarkerLength(reduced, i);
        if (marker > 0) {
            hasHourOrSecond = true;
            ++dateCount;
            i += marker - 1;
            continue;
        }
        if (c == 'y' || c == 'd')
            hasDay = true;
        else if (c == 'h' || c == 's')
            hasHourOrSecond = true;
        else if (c == 'm')
            hasMonthOrMinute = true;
        if (c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 's')
            ++dateCount;
        else if (reduced[i] == '0' || reduced[i] == '#' || reduced[i] == '?')
            ++numberCount;
    }
    const bool isDate = (dateCount > 0 && numberCount == 0) || dateCount > numberCount;
    if (!isDate)
        return CellKind::Number;
    // A lone "m" is a month; next to hours or seconds it is minutes.
    const bool hasDate = hasDay || (hasMonthOrMinute && !hasHourOrSecond);
    if (hasDate && hasHourOrSecond)
        return CellKind::DateTime;
    return hasHourOrSecond ? CellKind::Time : CellKind::Date;
}

} // namespace veltrum::workbook
