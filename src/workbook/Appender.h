// Appending records to a sheet of an Excel 97-2003 workbook: one call re-reads the file, appends the rows
// below the last one and commits atomically and durably, changing nothing else in the file.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

enum class ValueKind { Empty, Number, Text, Date, Time, DateTime };

struct AppendValue {
    ValueKind kind = ValueKind::Empty;
    // Number: the value. Date, Time, DateTime: days since 1899-12-30 with the time of day as the fraction
    // (a Time is the fraction alone); stored in the workbook's own date system.
    double number = 0.0;
    std::string text; // Text: UTF-8

    static AppendValue empty() { return {}; }
    static AppendValue fromNumber(double value) { return {ValueKind::Number, value, {}}; }
    static AppendValue fromText(std::string value) { return {ValueKind::Text, 0.0, std::move(value)}; }
    static AppendValue fromDate(int year, int month, int day);
    static AppendValue fromTime(int hour, int minute, double second);
    static AppendValue fromDateTime(int year, int month, int day, int hour, int minute, double second);
};

// One value for the column whose header (the sheet's first row) is `header`: exact match first,
// then ignoring ASCII case, as Table::findColumn does.
struct AppendField {
    std::string header;
    AppendValue value;
};
using AppendRow = std::vector<AppendField>;

// Appends `rows` below the last row of `sheetName` and commits the workbook durably. Holds an
// inter-process lock for the whole re-read, append and commit. Throws WorkbookError naming the file
// (and sheet or column) and leaves the file untouched when it refuses or fails.
// `check`, when given, is called with the file as read under the lock before anything is appended, and
// refuses the append by throwing.
using AppendCheck = std::function<void(std::span<const std::uint8_t> file)>;
void appendRecords(const std::string& path, std::string_view sheetName, const std::vector<AppendRow>& rows,
                   const AppendCheck& check = {});

// The same for a session workbook that grows row by row: the rows are written into the file in place
// (see inplace/InPlaceAppend.h) with a rollback journal beside it making the append atomic, so the
// bytes written do not grow with the rows already there. A workbook not laid out for that (a template
// just copied, a file a spreadsheet program saved) is rewritten whole once, laid out for the next time.
void appendRecordsInPlace(const std::string& path, std::string_view sheetName,
                          const std::vector<AppendRow>& rows);

// Rolls the workbook back from the rollback journal an interrupted in-place append left beside it, if
// any, so that it holds what it held before that append; returns whether it did. Takes the FolderLock.
bool rollBackInterruptedAppend(const std::string& path);

// The same on a workbook held in memory: returns the new file's bytes. displayName names it in messages.
std::vector<std::uint8_t> appendRecordsToBytes(std::span<const std::uint8_t> file,
                                               const std::string& displayName, std::string_view sheetName,
                                               const std::vector<AppendRow>& rows);

} // namespace veltrum::workbook
