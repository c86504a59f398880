// A data folder's sessions as two tables in an output folder: trials.csv, one line per trial row of every
// session workbook and recovery file, and sessions.csv, one line per summary record; optionally the same
// in an SQLite database. Nothing in the data folder is ever written. An export beside an earlier one reads
// only the files that changed since and copies the rest of its lines.
#pragma once

#include "export/SafeRead.h"

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrum::exporting {

struct ExportOptions {
    std::string dataFolder;
    std::string outFolder;
    std::string databaseFile; // "" for none
    ReadPolicy readPolicy;
    // Called as the sources are gone through: how many of how many are done.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

struct SourceChange {
    std::string file; // as in source_file: "Results/P101.3.xls"
    long rows = 0;
    long rowsBefore = -1; // -1 when the source is new
};

struct ExportReport {
    bool fromScratch = false; // no usable earlier export in the output folder
    std::size_t sources = 0;  // files whose rows are in trials.csv
    long trialRows = 0;
    long sessionRows = 0;
    long sessionRowsBefore = -1; // -1 when sessions.csv was not there before
    bool trialsWritten = false;  // trials.csv was written anew (else it was already up to date)
    bool sessionsWritten = false;
    std::size_t filesRead = 0;
    std::vector<SourceChange> added;
    std::vector<SourceChange> changed;
    std::vector<std::string> removed;
    std::vector<std::string> skipped;      // "file: why"; not exported
    std::vector<std::string> leftForLater; // "file: why"; being written, tried again by the next export
    std::vector<std::string> notes;        // values left empty, rows naming another session
    std::size_t databaseSourcesLoaded = 0; // sources whose rows were (re)loaded into the database
    std::string databaseFailure; // why the database could not be brought up to date (it stays as it was)
};

// A failure that leaves no table written: the data folder or the output folder cannot be used.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

ExportReport exportTables(const ExportOptions& options);

} // namespace veltrum::exporting
