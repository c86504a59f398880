// Rows that could not reach their workbook, saved where there is room as a CSV file that any spreadsheet
// program opens, so that no scored touch is lost when a disk is full or a share is away.
#pragma once

#include "workbook/Appender.h"

#include <string>
#include <vector>

namespace veltrum::records {

// Writes `rows` (all with the same headers, in order) durably to a new file, created exclusively, in the
// first of `folders` where the write succeeds: `<fileStem>.csv`, or `<fileStem>-2.csv` and so on when
// that name is taken; in a folder anyone may write (/tmp) `<fileStem>-<16 random hex digits>.csv`,
// readable by its owner only. Returns the file's path. Throws std::runtime_error listing every folder
// tried and why it failed.
std::string writeRecoveryFile(const std::vector<workbook::AppendRow>& rows, const std::string& fileStem,
                              const std::vector<std::string>& folders);

// The rows as CSV: a header line, then one line per row; dates as YYYY-MM-DD, times as HH:MM:SS.
std::string rowsAsCsv(const std::vector<workbook::AppendRow>& rows);

} // namespace veltrum::records
