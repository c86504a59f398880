#include "export/Columns.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace veltrum::exporting {

namespace {

using enum ValueType;

constexpr std::array<Column, 17> Trials{{
    {"subject", "", Text},
    {"session", "", Integer},
    {"row", "", Integer},
    {"date", "Date", Date},
    {"phase", "Phase", Integer},
    {"phase_name", "", Text},
    {"trial_type", "TrialType", Integer},
    {"trial", "Trial", Integer},
    {"ordinal", "Ordinal", Integer},
    {"session_time", "SessionTime", Real},
    {"trial_time", "TrialTime", Real},
    {"goal", "Goal", Integer},
    {"response", "Response", Integer},
    {"outcome", "Outcome", Text},
    {"correction_trial", "CorrectionTrial", Integer},
    {"source_file", "", Text},
    {"source_kind", "", Text},
}};

constexpr std::array<Column, 31> Sessions{{
    {"subject", "Subject", Text},
    {"session", "Session", Integer},
    {"row", "", Integer},
    {"date", "Date", Date},
    {"time", "Time", Time},
    {"box", "Box", Integer},
    {"phase", "Phase", Integer},
    {"phase_name", "", Text},
    {"trials", "Trials", Integer},
    {"program_version", "ProgramVersion", Text},
    {"hop_pc", "HopPC", Real},
    {"trial_pc", "TrialPC", Real},
    {"target_dr", "TargetDR", Real},
    {"target_rate", "TargetRate", Real},
    {"pre_target_dr", "PreTargetDR", Real},
    {"duration", "Duration", Integer},
    {"target", "Target", Integer},
    {"screen", "Screen", Integer},
    {"timeouts", "Timeouts", Integer},
    {"tt", "TT", Integer},
    {"sed", "SeD", Integer},
    {"hasp", "HASP", Integer},
    {"haes", "HAES", Integer},
    {"ihhd", "IHHD", Integer},
    {"hd", "HD", Integer},
    {"iti", "ITI", Integer},
    {"titi", "TITI", Integer},
    {"sd", "SD", Integer},
    {"shaping_keys", "ShapingKeys", Text},
    {"comments", "Comments", Text},
    {"comments2", "Comments2", Text},
}};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain decimal as the workbooks write numbers in text: an optional minus, digits, optionally a point
// and digits. Kept as written, so "0.70" stays what the workbook holds.
bool isPlainDecimal(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-')
        ++i;
    const std::size_t digits = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    if (i == digits)
        return false;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        if (i == fraction)
            return false;
    }
    return i == text.size();
}

// NNNN-NN-NN or NN:NN:NN with the digits where `pattern` has 'N'.
bool matchesPattern(std::string_view text, std::string_view pattern) {
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == 'N' ? !isDigit(text[i]) : text[i] != pattern[i])
            return false;
    return true;
}

int twoDigits(std::string_view text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

bool plausibleSerial(double serial) {
    return std::isfinite(serial) && serial >= 1.0 && serial < 2'958'466.0; // 1900-01-01 .. 9999-12-31
}

std::string dateOfSerial(double serial) {
    workbook::Cell date;
    date.kind = workbook::CellKind::Date;
    date.number = std::floor(serial);
    return workbook::toDisplayText(date);
}

std::string timeOfSerial(double serial) {
    const long seconds = std::lround((serial - std::floor(serial)) * 86400.0) % 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

std::optional<std::string> numberValue(ValueType type, double number) {
    if (!std::isfinite(number))
        return std::nullopt;
    if (type == Integer && number == std::floor(number) && std::fabs(number) < 1e15) {
        char text[32];
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number));
        return std::string(text);
    }
    return workbook::formatNumber(number);
}

} // namespace

std::span<const Column> trialColumns() {
    return Trials;
}

std::span<const Column> sessionColumns() {
    return Sessions;
}

std::optional<std::string> typedValue(ValueType type, const workbook::Cell& cell) {
    using workbook::CellKind;
    if (cell.kind == CellKind::Empty)
        return std::string();
    const bool numeric = cell.kind == CellKind::Number || cell.kind == CellKind::Date ||
                         cell.kind == CellKind::Time || cell.kind == CellKind::DateTime;
    const std::string_view text = cell.kind == CellKind::Text ? trimmed(cell.text) : std::string_view();
    switch (type) {
    case Text:
        return cell.kind == CellKind::Text ? cell.text : workbook::toDisplayText(cell);
    case Integer:
    case Real:
        if (numeric)
            return numberValue(type, cell.number);
        if (cell.kind == CellKind::Text && text.empty())
            return std::string();
        if (cell.kind == CellKind::Text && isPlainDecimal(text))
            return std::string(text);
        return std::nullopt;
    case Date:
        if (numeric)
            return plausibleSerial(cell.number) ? std::optional(dateOfSerial(cell.number)) : std::nullopt;
        if (cell.kind == CellKind::Text && text.empty())
            return std::string();
        if (cell.kind == CellKind::Text && matchesPattern(text, "NNNN-NN-NN")) {
            const int month = twoDigits(text, 5);
            const int day = twoDigits(text, 8);
            if (month >= 1 && month <= 12 && day >= 1 && day <= 31)
                return std::string(text);
        }
        return std::nullopt;
    case Time:
        if (numeric)
            return std::isfinite(cell.number) ? std::optional(timeOfSerial(cell.number)) : std::nullopt;
        if (cell.kind == CellKind::Text && text.empty())
            return std::string();
        if (cell.kind == CellKind::Text && matchesPattern(text, "NN:NN:NN") && twoDigits(text, 0) < 24 &&
            twoDigits(text, 3) < 60 && twoDigits(text, 6) < 60)
            return std::string(text);
        return std::nullopt;
    }
    return std::nullopt;
}

std::string_view phaseName(std::string_view phaseNumber) {
    static constexpr std::array<std::string_view, 4> Names{"MagTrain", "Auto", "SuccDisc", "SimDisc"};
    if (phaseNumber.size() == 1 && phaseNumber[0] >= '1' && phaseNumber[0] <= '4')
        return Names[static_cast<std::size_t>(phaseNumber[0] - '1')];
    return {};
}

} // namespace veltrum::exporting
