// The exported tables in an SQLite database: "trials" and "sessions" with the columns of the CSV files,
// typed, keyed and indexed for a query by subject and session. The database remembers which state of
// which source its rows came from, so that only what changed is loaded again.
#pragma once

#include "export/ExportIndex.h"

#include <cstddef>
#include <functional>
#include <string>

namespace veltrum::exporting {

struct DatabaseUpdate {
    std::size_t sourcesLoaded = 0;  // trial sources whose rows were (re)loaded
    std::size_t sourcesRemoved = 0; // trial sources whose rows were removed
    bool sessionsLoaded = false;
};

// Throws, naming the file, when `path` is there but is not a database an export made (or is a link).
void checkDatabase(const std::string& path);

// Brings the database at `path` (made when absent) to the tables the output folder `outFolderFd` holds,
// as `index` describes them. Refuses, naming the file, a database made by anything else, and a link.
// Runs in one transaction: a failure leaves the database as it was.
DatabaseUpdate updateDatabase(const std::string& path, const ExportIndex& index, int outFolderFd,
                              const std::function<void(std::size_t done, std::size_t total)>& progress);

} // namespace veltrum::exporting
