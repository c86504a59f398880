#include "workbook/Appender.h"

#include "workbook/WorkbookError.h"
#include "workbook/append/Biff8Appender.h"
#include "workbook/biff/Refusals.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/commit/FileLock.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/compound/CompoundFileWriter.h"
#include "workbook/compound/CompoundImage.h"
#include "workbook/inplace/FilePatch.h"
#include "workbook/inplace/InPlaceAppend.h"

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

namespace {

std::vector<std::uint8_t> appendToBytes(std::span<const std::uint8_t> file, const std::string& name,
                                        std::string_view sheetName, const std::vector<AppendRow>& rows,
                                        bool layOut) {
    if (!CompoundFile::hasSignature(file))
        refuseNonCompoundFile(file, name);
    CompoundImage image;
    std::uint32_t workbook = 0;
    try {
        const CompoundFile compound(std::vector<std::uint8_t>(file.begin(), file.end()));
        workbook = workbookStreamEntry(compound, name);
        image = CompoundImage::from(compound);
    } catch (const CompoundFileError& error) {
        refuseDamaged(name, error.what());
    }
    std::vector<std::uint8_t> stream = appendToWorkbookStream(image.streams[workbook], name, sheetName, rows);
    if (layOut)
        stream = layOutForAppending(std::move(stream), name, sheetName);
    if (stream == image.streams[workbook])
        return {file.begin(), file.end()};
    image.streams[workbook] = std::move(stream);
    // Laid out for appending in place: the Workbook stream last, so that new sectors continue it.
    return writeCompoundFile(image, layOut ? workbook : 0xFFFFFFFF);
}

void appendUnderLock(const std::string& path, std::string_view sheetName, const std::vector<AppendRow>& rows,
                     bool inPlace, const AppendCheck& check = {}) {
    FolderLock lock(path);
    refuseIfOpenInSpreadsheet(path);
    removeAbandonedTemporaryFiles(path);
    // An append interrupted half-way is undone before anything reads the file. Something else under the
    // rollback journal's name is never used: the rows then go in by replacing the file whole, which
    // needs no rollback journal.
    const bool foreignRollback = rollbackState(path) == RollbackState::Foreign;
    if (!foreignRollback)
        rollBackInterruptedPatch(path);
    if (inPlace && !foreignRollback && appendRowsInPlace(path, sheetName, rows))
        return;
    // Read under the lock, every time: another controller or the user may have changed the file.
    const std::vector<std::uint8_t> before = readWholeFile(path);
    if (check)
        check(before);
    const std::vector<std::uint8_t> after = appendToBytes(before, path, sheetName, rows, inPlace);
    if (after != before)
        replaceFileDurably(path, after);
}

} // namespace

std::vector<std::uint8_t> appendRecordsToBytes(std::span<const std::uint8_t> file, const std::string& name,
                                               std::string_view sheetName,
                                               const std::vector<AppendRow>& rows) {
    return appendToBytes(file, name, sheetName, rows, false);
}

void appendRecords(const std::string& path, std::string_view sheetName, const std::vector<AppendRow>& rows,
                   const AppendCheck& check) {
    appendUnderLock(path, sheetName, rows, false, check);
}

void appendRecordsInPlace(const std::string& path, std::string_view sheetName,
                          const std::vector<AppendRow>& rows) {
    appendUnderLock(path, sheetName, rows, true);
}

bool rollBackInterruptedAppend(const std::string& path) {
    FolderLock lock(path);
    return rollBackInterruptedPatch(path);
}

} // namespace veltrum::workbook
