// What a file in a data folder is, from its name alone: a session workbook (saved under the session's
// name, kept aside as not saved, or discarded), a recovery file of rows that never reached their workbook,
// the summary, the template, the program's own hidden files, or something else.
#pragma once

#include <string>
#include <string_view>

namespace veltrum::exporting {

enum class SourceKind {
    Saved,     // <Subject>.<N>.xls
    NotSaved,  // <Subject>.<N>.not-saved.xls, .not-saved-2.xls, ...
    Discarded, // <Subject>.<N>.discarded.xls, .discarded-2.xls, ...
    Recovery,  // <Subject>.<N>.rows-not-in-workbook.csv, ...-2.csv, ...
    Live,      // a session workbook whose row journal is beside it: a session being written
};

// "saved", "not-saved", "discarded", "recovery", "live": the source_kind column's values.
const char* kindName(SourceKind kind);

enum class NameRole {
    Trials,  // a source of trial rows: kind, subject, session and copy are set
    Summary, // Results_Summary.xls
    Quiet,   // the template, hidden files (journals, rollback journals, claims), session pictures
    Foreign, // named like a workbook or CSV but not like any file the program writes
    Other,   // anything else: not the program's, not looked at
};

struct SourceName {
    NameRole role = NameRole::Other;
    SourceKind kind = SourceKind::Saved;
    std::string subject;
    long session = 0;
    int copy = 1; // 2 for ".not-saved-2.xls" and the like
};

// Reads a file name (no folder). Subject names may contain dots, so "<Subject>.<N>" is read from the
// right, after the suffix that tells the kind.
SourceName parseSourceName(std::string_view name);

} // namespace veltrum::exporting
