#include "workbook/Appender.h"

#include "workbook/Biff8Appender.h"
#include "workbook/CompoundFile.h"
#include "workbook/CompoundFileWriter.h"
#include "workbook/CompoundImage.h"
#include "workbook/DurableFile.h"
#include "workbook/FileLock.h"
#include "workbook/Workbook.h"

#include <optional>

namespace veltrum::workbook {

namespace {

// Days from 1899-12-30 to a date of the proleptic Gregorian calendar.
double daysSince1899(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long long unixDays = static_cast<long long>(era) * 146097 + dayOfEra - 719468;
    return static_cast<double>(unixDays + 25569);
}

} // namespace

AppendValue AppendValue::fromDate(int year, int month, int day) {
    return {ValueKind::Date, daysSince1899(year, month, day), {}};
}

AppendValue AppendValue::fromTime(int hour, int minute, double second) {
    return {ValueKind::Time, (hour * 3600.0 + minute * 60.0 + second) / 86400.0, {}};
}

AppendValue AppendValue::fromDateTime(int year, int month, int day, int hour, int minute, double second) {
    return {ValueKind::DateTime,
            daysSince1899(year, month, day) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0,
            {}};
}

std::vector<std::uint8_t> appendRecordsToBytes(std::span<const std::uint8_t> file, const std::string& name,
                                               std::string_view sheetName,
                                               const std::vector<AppendRow>& rows) {
    if (file.size() >= 2 && file[0] == 'P' && file[1] == 'K')
        throw WorkbookError(name + ": this is an Excel 2007+ (.xlsx) workbook; only Excel 97-2003 (.xls) "
                                   "workbooks can be appended to");
    if (!CompoundFile::hasSignature(file)) {
        if (file.size() >= 2 && file[0] == 0x09 && (file[1] == 0x00 || file[1] == 0x02 || file[1] == 0x04))
            throw WorkbookError(name + ": the workbook is in a format older than Excel 97; save it as "
                                       "Excel 97-2003 first");
        throw WorkbookError(name + ": not an Excel 97-2003 workbook");
    }
    std::optional<CompoundFile> compound;
    try {
        compound.emplace(std::vector<std::uint8_t>(file.begin(), file.end()));
    } catch (const CompoundFileError& error) {
        throw WorkbookError(name + ": the file is damaged (" + error.what() + ")");
    }
    const auto workbook = compound->findStream("Workbook");
    if (!workbook) {
        if (compound->findStream("Book"))
            throw WorkbookError(name +
                                ": the workbook is in a format older than Excel 97 (BIFF5 or earlier); "
                                "save it as Excel 97-2003 first");
        throw WorkbookError(name + ": the file holds no workbook");
    }
    if (compound->findStream("User Names") || compound->findStream("Revision Log"))
        throw WorkbookError(name + ": the workbook is shared (changes are tracked for several users); turn "
                                   "sharing off in Excel before appending to it");
    CompoundImage image;
    try {
        image = CompoundImage::from(*compound);
    } catch (const CompoundFileError& error) {
        throw WorkbookError(name + ": the file is damaged (" + error.what() + ")");
    }
    compound.reset();
    std::vector<std::uint8_t> stream =
        appendToWorkbookStream(image.streams[*workbook], name, sheetName, rows);
    if (stream == image.streams[*workbook])
        return {file.begin(), file.end()};
    image.streams[*workbook] = std::move(stream);
    return writeCompoundFile(image);
}

void appendRecords(const std::string& path, std::string_view sheetName, const std::vector<AppendRow>& rows) {
    FolderLock lock(path);
    refuseIfOpenInSpreadsheet(path);
    removeAbandonedTemporaryFiles(path);
    // Read under the lock, every time: another controller or the user may have changed the file.
    const std::vector<std::uint8_t> before = readWholeFile(path);
    const std::vector<std::uint8_t> after = appendRecordsToBytes(before, path, sheetName, rows);
    if (after != before)
        replaceFileDurably(path, after);
}

} // namespace veltrum::workbook
