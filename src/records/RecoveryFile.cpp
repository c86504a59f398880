#include "records/RecoveryFile.h"

#include "platform/SafeFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace veltrum::records {

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

namespace {

// Writes the file under a name no one held before, durably; the name it got, or "" with `failure` set.
std::string writeNewFile(const std::string& folder, const std::string& fileStem, const std::string& csv,
                         std::string& failure) {
    // In a folder anyone may write (/tmp, /var/tmp) a name others can guess is theirs to take first, and
    // the rows are the operator's own: a name no one can guess, readable by its owner only.
    const bool shared = platform::isWorldWritableFolder(folder);
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int copy = 1; copy <= 100; ++copy) {
        std::string suffix;
        if (shared) {
            char digits[17];
            std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
            suffix = std::string("-") + digits;
        } else if (copy > 1) {
            suffix = "-" + std::to_string(copy);
        }
        const std::string path = folder + "/" + fileStem + suffix + ".csv";
        try {
            const platform::FileDescriptor out = platform::createNewFile(path, shared ? 0600 : 0644);
            if (!platform::writeAll(out.get(), csv.data(), csv.size()) || ::fsync(out.get()) != 0) {
                const int error = errno;
                ::unlink(path.c_str());
                failure = path + ": " + std::strerror(error);
                return {};
            }
            // The new name is durable once the folder holds it.
            const platform::FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (dir.get() >= 0)
                ::fsync(dir.get());
            return path;
        } catch (const platform::SafeFileError& error) {
            if (error.error() != EEXIST) {
                failure = error.what();
                return {};
            }
        }
    }
    failure = folder + ": no free name for " + fileStem + ".csv";
    return {};
}

} // namespace

std::string writeRecoveryFile(const std::vector<workbook::AppendRow>& rows, const std::string& fileStem,
                              const std::vector<std::string>& folders) {
    const std::string csv = rowsAsCsv(rows);
    std::string failures;
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        std::string failure;
        const std::string path = writeNewFile(folder, fileStem, csv, failure);
        if (!path.empty())
            return path;
        failures += "\n" + failure;
    }
    throw std::runtime_error("The waiting rows could not be written anywhere:" + failures);
}

} // namespace veltrum::records
