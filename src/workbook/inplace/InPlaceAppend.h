// Appending trial rows to a session workbook without rewriting it: in a workbook laid out for it (the
// sheet appended to is the last in the Workbook stream, has no INDEX or DBCELL records, and the stream
// lives in regular sectors), the new cell records overwrite the sheet's closing records, which are
// written again after them; only the sheet's extent, the stream's size, the allocation table and the
// new sectors change. The bytes written per append do not grow with the rows already in the file.
//
// Texts go in as LABELSST when the shared string table already holds them and as inline LABEL records
// otherwise, so that the table, which lies before every sheet, never grows.
#pragma once

#include "workbook/Appender.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

// Appends `rows` to `sheetName` in place when the workbook is laid out for it and returns true;
// returns false having changed nothing when it is not (another layout, a file a spreadsheet program
// saved, a text LABEL cannot hold, a new cell format, a file past 109 FAT sectors). Call it holding the
// FolderLock, after rollBackInterruptedPatch(). Throws WorkbookError for rows it refuses, as
// appendRecords does, and when the file cannot be written.
bool appendRowsInPlace(const std::string& path, std::string_view sheetName,
                       const std::vector<AppendRow>& rows);

// The Workbook stream laid out for appending in place to `sheetName`, when that sheet is the last
// substream: its INDEX and DBCELL records dropped (the row block index would grow and shift the sheet at
// every append) and any padding after its end cut. Any other stream comes back unchanged.
std::vector<std::uint8_t> layOutForAppending(std::vector<std::uint8_t> stream, const std::string& file,
                                             std::string_view sheetName);

} // namespace veltrum::workbook
