// A source's rows as lines of the exported tables: a session workbook's or a recovery file's trial rows,
// the summary's records.
#pragma once

#include "export/SourceName.h"

#include <string>
#include <string_view>

namespace veltrum::exporting {

// Where trial rows come from: the subject and session of the file's name, the file as the export names
// it (relative to the data folder), and its kind.
struct SourceInfo {
    std::string subject;
    long session = 0;
    SourceKind kind = SourceKind::Saved;
    std::string file;
};

struct SourceRows {
    std::string csv; // the rows' lines, each ended by CRLF, in the source's order
    long rows = 0;
    // Values that were not of their column's type, exported empty; the first one described.
    long badValues = 0;
    std::string firstBadValue;
    // Rows whose own subject or session is not the file name's (the file name's are exported).
    long otherSessionRows = 0;
    // Columns the source lacks, exported empty (the summary only: a session source must have them all).
    std::string missingColumns;
    // Set when the source could not be read at all: nothing of it is exported.
    std::string problem;
};

// The header lines of the two tables.
std::string trialHeaderLine();
std::string sessionHeaderLine();

// The trial rows of a session workbook's sheet "Data".
SourceRows trialRowsFromWorkbook(std::string bytes, const SourceInfo& source);
// The trial rows of a recovery file (a header line naming the thirteen columns, then the rows).
SourceRows trialRowsFromRecoveryFile(std::string_view bytes, const SourceInfo& source);
// The summary's sheet "All", its records ordered by subject, session and place in the sheet.
SourceRows sessionRowsFromSummary(std::string bytes, const std::string& displayName);

} // namespace veltrum::exporting
