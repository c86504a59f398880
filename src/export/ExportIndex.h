// What the last export wrote, kept beside the tables in the output folder: for every source, the state
// of the file it read and where that source's lines are in trials.csv, so that the next export reads
// only what changed and copies the rest.
#pragma once

#include "export/SafeRead.h"
#include "export/SourceName.h"

#include <map>
#include <optional>
#include <string>

namespace veltrum::exporting {

struct IndexedSource {
    FileKey key;
    SourceKind kind = SourceKind::Saved;
    long rows = 0;
    std::uint64_t offset = 0; // of its first line in trials.csv
    std::uint64_t length = 0;
};

struct ExportIndex {
    FileKey trialsFile;   // trials.csv as this export left it
    FileKey sessionsFile; // sessions.csv
    FileKey summary;      // the summary workbook it was made from
    long sessionRows = 0;
    bool hasSessions = false;
    // By the source's file as exported ("Results/P101.3.xls").
    std::map<std::string, IndexedSource> sources;
    // Files that could not be exported, with their state and why: reported again, not read again, while
    // they stay as they are.
    std::map<std::string, std::pair<FileKey, std::string>> refused;
};

inline constexpr const char* IndexFileName = ".veltrum-export.index";

// The index's text; reading gives nothing for a text that is not a whole index (a torn or foreign file).
std::string indexText(const ExportIndex& index);
std::optional<ExportIndex> parseIndex(std::string_view text);

} // namespace veltrum::exporting
