#include "results/RecoveryFile.h"

#include "workbook/commit/DurableFile.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>

namespace veltrum::results {

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Days since 1899-12-30 as a calendar date (the proleptic Gregorian calendar).
std::string dateText(double serial) {
    const long days = static_cast<long>(std::floor(serial)) - 25569 + 719468; // days since 0000-03-01
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long dayOfEra = days - era * 146097;
    const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long monthIndex = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld", year, month, day);
    return text;
}

std::string timeText(double serial) {
    const long seconds = std::lround((serial - std::floor(serial)) * 86400.0) % 86400;
    char text[64];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

std::string valueText(const workbook::AppendValue& value) {
    switch (value.kind) {
    case workbook::ValueKind::Empty:
        return {};
    case workbook::ValueKind::Number: {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", value.number);
        return text;
    }
    case workbook::ValueKind::Text:
        return csvField(value.text);
    case workbook::ValueKind::Date:
        return dateText(value.number);
    case workbook::ValueKind::Time:
        return timeText(value.number);
    case workbook::ValueKind::DateTime:
        return dateText(value.number) + " " + timeText(value.number);
    }
    return {};
}

} // namespace

std::string rowsAsCsv(const std::vector<workbook::AppendRow>& rows) {
    std::string csv;
    if (rows.empty())
        return csv;
    for (std::size_t i = 0; i < rows.front().size(); ++i)
        csv += (i ? "," : "") + csvField(rows.front()[i].header);
    csv += "\r\n";
    for (const workbook::AppendRow& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            csv += (i ? "," : "") + valueText(row[i].value);
        csv += "\r\n";
    }
    return csv;
}

std::string writeRecoveryFile(const std::vector<workbook::AppendRow>& rows, const std::string& fileStem,
                              const std::vector<std::string>& folders) {
    const std::string csv = rowsAsCsv(rows);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(csv.data());
    std::string failures;
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        std::string path;
        for (int copy = 1; path.empty() || std::filesystem::exists(path); ++copy)
            path =
                folder + "/" + fileStem + (copy == 1 ? std::string() : "-" + std::to_string(copy)) + ".csv";
        try {
            workbook::replaceFileDurably(path, {bytes, csv.size()});
            return path;
        } catch (const std::exception& error) {
            failures += "\n" + std::string(error.what());
        }
    }
    throw std::runtime_error("The waiting rows could not be written anywhere:" + failures);
}

} // namespace veltrum::results
