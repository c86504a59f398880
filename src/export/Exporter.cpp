#include "export/Exporter.h"

#include "export/Database.h"
#include "export/ExportIndex.h"
#include "export/OutputFile.h"
#include "export/SourceName.h"
#include "export/SourceRows.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <tuple>

namespace veltrum::exporting {

namespace {

constexpr const char* TrialsFileName = "trials.csv";
constexpr const char* SessionsFileName = "sessions.csv";
constexpr const char* SummaryName = "Results_Summary.xls";

class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    void reset(int fd) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

std::string systemError() {
    return std::strerror(errno);
}

int openFolder(int at, const std::string& path, const std::string& what) {
    const int fd = openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw ExportError(
            "cannot open " + what + (at == AT_FDCWD ? " " + path : std::string()) + ": " +
            (errno == ELOOP || errno == ENOTDIR ? "not a folder (a link is not followed)" : systemError()));
    return fd;
}

// The output folder, made with the folders above it when they are not there.
int openOutFolder(const std::string& path) {
    std::error_code made;
    std::filesystem::create_directories(path, made);
    if (made)
        throw ExportError("cannot make the output folder " + path + ": " + made.message());
    return openFolder(AT_FDCWD, path, "the output folder");
}

// Whether `path` is the folder `folder` or lies inside it, links and ".." resolved.
bool inside(const std::string& path, const std::string& folder) {
    std::error_code pathError;
    std::error_code folderError;
    const std::filesystem::path resolved =
        std::filesystem::weakly_canonical(std::filesystem::absolute(path), pathError);
    const std::filesystem::path base =
        std::filesystem::weakly_canonical(std::filesystem::absolute(folder), folderError);
    if (pathError || folderError)
        throw ExportError("cannot tell whether " + path + " lies in " + folder + ": " +
                          (pathError ? pathError : folderError).message());
    auto b = base.begin();
    auto p = resolved.begin();
    for (; b != base.end() && !b->empty(); ++b, ++p)
        if (p == resolved.end() || *p != *b)
            return false;
    return true;
}

std::vector<std::string> entriesOf(int folderFd) {
    std::vector<std::string> names;
    const int copy = dup(folderFd);
    DIR* listing = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!listing) {
        if (copy >= 0)
            ::close(copy);
        throw ExportError("cannot list a folder: " + systemError());
    }
    rewinddir(listing);
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(listing);
    return names;
}

struct Source {
    std::string file; // as exported: relative to the data folder
    std::string name;
    int folderFd = -1;
    int folderRank = 0; // Results before the data folder itself
    SourceName parsed;
    SourceKind kind = SourceKind::Saved;
};

int kindRank(SourceKind kind) {
    switch (kind) {
    case SourceKind::Saved:
    case SourceKind::Live:
        return 0;
    case SourceKind::NotSaved:
        return 1;
    case SourceKind::Discarded:
        return 2;
    case SourceKind::Recovery:
        return 3;
    }
    return 4;
}

// Subject, session, then the session's files: its workbook, the ones kept aside, the discarded ones,
// the recovery files.
bool comesBefore(const Source& a, const Source& b) {
    return std::forward_as_tuple(a.parsed.subject, a.parsed.session, kindRank(a.kind), a.parsed.copy,
                                 a.folderRank, a.name) <
           std::forward_as_tuple(b.parsed.subject, b.parsed.session, kindRank(b.kind), b.parsed.copy,
                                 b.folderRank, b.name);
}

std::string countText(long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void noteValues(ExportReport& report, const std::string& file, const SourceRows& rows) {
    if (rows.badValues > 0)
        report.notes.push_back(file + ": " + countText(rows.badValues, "value", "values") +
                               " not of their column's kind, exported empty (first: " + rows.firstBadValue +
                               ")");
    if (rows.otherSessionRows > 0)
        report.notes.push_back(file + ": " + countText(rows.otherSessionRows, "row names", "rows name") +
                               " another subject or session than the file's name, exported under the file's");
    if (!rows.missingColumns.empty())
        report.notes.push_back(file + ": no column " + rows.missingColumns + ", exported empty");
}

// The reason a workbook message gives, without the file name it starts with (the report names it).
std::string reasonOf(const std::string& problem, const std::string& file) {
    if (problem.starts_with(file + ": "))
        return problem.substr(file.size() + 2);
    if (problem.starts_with("'" + file + "' is "))
        return problem.substr(file.size() + 6);
    return problem;
}

struct Folders {
    Descriptor data;
    Descriptor results;
    Descriptor out;
};

std::vector<Source> listSources(const Folders& folders, ExportReport& report) {
    std::vector<Source> sources;
    const std::vector<std::string> names = entriesOf(folders.results.get());
    for (const std::string& name : names) {
        Source source{"Results/" + name, name, folders.results.get(), 0, parseSourceName(name), {}};
        if (source.parsed.role == NameRole::Foreign)
            report.skipped.push_back(source.file + ": not named like a session workbook or recovery file");
        if (source.parsed.role != NameRole::Trials)
            continue;
        source.kind = source.parsed.kind;
        sources.push_back(std::move(source));
    }
    // A session being written keeps its row journal beside its workbook: told from the listing itself.
    std::set<std::string_view> journals;
    for (const std::string& name : names)
        if (name.starts_with('.') && name.ends_with(".xls.journal"))
            journals.insert(std::string_view(name).substr(1, name.size() - 1 - 8));
    for (Source& source : sources)
        if (source.kind == SourceKind::Saved && source.folderRank == 0 && journals.contains(source.name))
            source.kind = SourceKind::Live;
    // Recovery files the program could not write to Results went to the data folder itself.
    for (const std::string& name : entriesOf(folders.data.get())) {
        Source source{name, name, folders.data.get(), 1, parseSourceName(name), {}};
        if (source.parsed.role == NameRole::Trials && source.parsed.kind == SourceKind::Recovery) {
            source.kind = SourceKind::Recovery;
            sources.push_back(std::move(source));
        }
    }
    std::sort(sources.begin(), sources.end(), comesBefore);
    return sources;
}

// Whether the earlier export in the output folder can be built on: its index whole, and trials.csv the
// file the index describes.
std::optional<ExportIndex> earlierExport(int outFd, int trialsFd) {
    std::optional<ExportIndex> index = parseIndex(readOwnFile(outFd, IndexFileName));
    if (!index || keyOfOpenFile(trialsFd) != index->trialsFile)
        return std::nullopt;
    for (const auto& [file, source] : index->sources)
        if (source.offset + source.length > index->trialsFile.size)
            return std::nullopt;
    return index;
}

SourceRows rowsOf(const Source& source, std::string bytes) {
    const SourceInfo info{source.parsed.subject, source.parsed.session, source.kind, source.file};
    if (source.kind == SourceKind::Recovery)
        return trialRowsFromRecoveryFile(bytes, info);
    return trialRowsFromWorkbook(std::move(bytes), info);
}

// What the export does with a source, decided from the file's state before anything is read.
struct Plan {
    enum { Copy, Read, Refuse } action = Read;
    const IndexedSource* before = nullptr; // its lines in the earlier export, if it had any
    std::string reason;                    // Refuse: why
    FileState state;                       // the file as it was when the plan was made
};

std::vector<Plan> planSources(const std::vector<Source>& sources, const std::optional<ExportIndex>& earlier) {
    std::vector<Plan> plans(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& source = sources[i];
        Plan& plan = plans[i];
        plan.state = examine(source.folderFd, source.name);
        if (plan.state.notRegular) {
            plan.action = Plan::Refuse;
            plan.reason = plan.state.notRegular;
            continue;
        }
        if (!earlier)
            continue;
        const bool regular = plan.state.regular();
        const FileKey& key = plan.state.key;
        if (const auto found = earlier->sources.find(source.file); found != earlier->sources.end()) {
            plan.before = &found->second;
            if (regular && key == plan.before->key && source.kind == plan.before->kind)
                plan.action = Plan::Copy;
        } else if (const auto refused = earlier->refused.find(source.file);
                   refused != earlier->refused.end() && regular && key == refused->second.first) {
            plan.action = Plan::Refuse;
            plan.reason = refused->second.second;
        }
    }
    return plans;
}

// Whether trials.csv must be written anew: a source is new, changed or gone since the earlier export.
bool trialsOutOfDate(const std::vector<Source>& sources, const std::vector<Plan>& plans,
                     const std::optional<ExportIndex>& earlier, ExportReport& report) {
    if (!earlier)
        return true;
    bool outOfDate = std::any_of(plans.begin(), plans.end(), [](const Plan& plan) {
        return plan.action == Plan::Read || (plan.action == Plan::Refuse && plan.before);
    });
    std::set<std::string_view> present;
    for (const Source& source : sources)
        present.insert(source.file);
    for (const auto& [file, source] : earlier->sources) {
        if (!present.contains(file)) {
            report.removed.push_back(file);
            outOfDate = true;
        }
    }
    return outOfDate;
}

void refuse(const Source& source, const Plan& plan, const std::string& reason, ExportIndex& next,
            ExportReport& report) {
    report.skipped.push_back(source.file + ": " + reason);
    if (plan.state.regular())
        next.refused[source.file] = {plan.state.key, reason};
}

void writeTrials(const std::vector<Source>& sources, const std::vector<Plan>& plans, int earlierTrialsFd,
                 const ExportOptions& options, OutputFile& trials, ExportIndex& next, ExportReport& report) {
    trials.write(trialHeaderLine());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (options.progress)
            options.progress(i, sources.size());
        const Source& source = sources[i];
        const Plan& plan = plans[i];
        auto copyEarlier = [&] {
            IndexedSource kept = *plan.before;
            kept.offset = trials.size();
            trials.copyFrom(earlierTrialsFd, plan.before->offset, plan.before->length);
            next.sources[source.file] = kept;
            report.trialRows += kept.rows;
        };
        if (plan.action == Plan::Copy) {
            copyEarlier();
            continue;
        }
        if (plan.action == Plan::Refuse) {
            refuse(source, plan, plan.reason, next, report);
            continue;
        }
        ReadOutcome read = readConsistently(source.folderFd, source.name, options.readPolicy);
        ++report.filesRead;
        if (read.status == ReadStatus::Busy) {
            if (plan.before) {
                report.leftForLater.push_back(source.file + ": " + read.reason +
                                              "; its rows as of the last export are kept");
                copyEarlier();
            } else {
                report.leftForLater.push_back(source.file + ": " + read.reason);
            }
            continue;
        }
        if (read.status == ReadStatus::Refused) {
            refuse(source, plan, read.reason, next, report);
            continue;
        }
        const SourceRows rows = rowsOf(source, std::move(read.bytes));
        if (!rows.problem.empty()) {
            refuse(source, plan, reasonOf(rows.problem, source.file), next, report);
            continue;
        }
        noteValues(report, source.file, rows);
        next.sources[source.file] = {read.key, source.kind, rows.rows, trials.size(), rows.csv.size()};
        trials.write(rows.csv);
        report.trialRows += rows.rows;
        if (plan.before)
            report.changed.push_back({source.file, rows.rows, plan.before->rows});
        else
            report.added.push_back({source.file, rows.rows, -1});
    }
    if (options.progress)
        options.progress(sources.size(), sources.size());
}

// Writes sessions.csv from the summary as `read` got it (a header alone when there is none to read).
void writeSessions(const std::optional<ReadOutcome>& read, OutputFile& sessions, ExportIndex& next,
                   ExportReport& report) {
    const std::string summaryFile = std::string("Results/") + SummaryName;
    SourceRows rows;
    next.summary = {}; // read again by the next export unless read now
    if (!read) {
        report.notes.push_back(summaryFile + ": not there; sessions.csv holds no session");
    } else if (read->status == ReadStatus::Read) {
        rows = sessionRowsFromSummary(read->bytes, summaryFile);
        if (rows.problem.empty()) {
            next.summary = read->key;
            noteValues(report, summaryFile, rows);
        } else {
            report.skipped.push_back(summaryFile + ": " + reasonOf(rows.problem, summaryFile));
            rows = {};
        }
    } else if (read->status == ReadStatus::Busy) {
        report.leftForLater.push_back(summaryFile + ": " + read->reason);
    } else {
        report.skipped.push_back(summaryFile + ": " + read->reason);
    }
    sessions.write(sessionHeaderLine());
    sessions.write(rows.csv);
    next.sessionRows = rows.rows;
    next.sessionsFile = sessions.finish();
    report.sessionsWritten = true;
}

// Opens the data, results and output folders, having refused an output folder or database in Results.
void openFolders(const ExportOptions& options, Folders& folders) {
    folders.data.reset(openFolder(AT_FDCWD, options.dataFolder, "the data folder"));
    folders.results.reset(
        openFolder(folders.data.get(), "Results", "the results folder " + options.dataFolder + "/Results"));
    const std::string resultsPath = options.dataFolder + "/Results";
    if (inside(options.outFolder, resultsPath))
        throw ExportError("the output folder " + options.outFolder +
                          " is in the results folder, which an export never writes: choose another");
    if (!options.databaseFile.empty() && inside(options.databaseFile, resultsPath))
        throw ExportError("the database " + options.databaseFile +
                          " is in the results folder, which an export never writes: choose another");
    if (!options.databaseFile.empty()) {
        try {
            checkDatabase(options.databaseFile);
        } catch (const std::runtime_error& error) {
            throw ExportError(error.what());
        }
    }
    folders.out.reset(openOutFolder(options.outFolder));
}

} // namespace

ExportReport exportTables(const ExportOptions& options) {
    ExportReport report;
    Folders folders;
    openFolders(options, folders);

    const std::vector<Source> sources = listSources(folders, report);
    const Descriptor earlierTrials(
        openat(folders.out.get(), TrialsFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<ExportIndex> earlier = earlierExport(folders.out.get(), earlierTrials.get());
    report.fromScratch = !earlier;

    ExportIndex next;
    std::optional<OutputFile> trials;
    const std::vector<Plan> plans = planSources(sources, earlier);
    if (trialsOutOfDate(sources, plans, earlier, report)) {
        trials.emplace(folders.out.get(), TrialsFileName);
        writeTrials(sources, plans, earlierTrials.get(), options, *trials, next, report);
        next.trialsFile = trials->finish();
        report.trialsWritten = true;
    } else {
        next = *earlier;
        for (const auto& [file, source] : next.sources)
            report.trialRows += source.rows;
        next.refused.clear();
        for (std::size_t i = 0; i < sources.size(); ++i)
            if (plans[i].action == Plan::Refuse)
                refuse(sources[i], plans[i], plans[i].reason, next, report);
    }
    report.sources = next.sources.size();

    // The summary: read again only when it changed.
    const Descriptor earlierSessions(
        openat(folders.out.get(), SessionsFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const bool sessionsUsable =
        earlier && earlier->hasSessions && keyOfOpenFile(earlierSessions.get()) == earlier->sessionsFile;
    if (sessionsUsable)
        report.sessionRowsBefore = earlier->sessionRows;
    std::optional<OutputFile> sessions;
    const FileState summaryState = examine(folders.results.get(), SummaryName);
    const bool summaryUnchanged =
        sessionsUsable && summaryState.regular() && summaryState.key == earlier->summary;
    std::optional<ReadOutcome> summary;
    if (!summaryUnchanged && summaryState.exists) {
        summary = readConsistently(folders.results.get(), SummaryName, options.readPolicy);
        ++report.filesRead;
    }
    const bool summaryBusy = summary && summary->status == ReadStatus::Busy;
    if (summaryUnchanged || (summaryBusy && sessionsUsable)) {
        if (summaryBusy)
            report.leftForLater.push_back(std::string("Results/") + SummaryName + ": " + summary->reason +
                                          "; the sessions of the last export are kept");
        next.sessionsFile = earlier->sessionsFile;
        next.summary = earlier->summary;
        next.sessionRows = earlier->sessionRows;
    } else {
        sessions.emplace(folders.out.get(), SessionsFileName);
        writeSessions(summary, *sessions, next, report);
    }
    next.hasSessions = true;
    report.sessionRows = next.sessionRows;

    // The tables go in place, then the index that describes them: an export cut short in between leaves
    // an index that no longer matches, and the next export starts afresh.
    if (trials)
        trials->rename();
    if (sessions)
        sessions->rename();
    if (trials || sessions || !earlier) {
        OutputFile index(folders.out.get(), IndexFileName);
        index.write(indexText(next));
        index.finish();
        index.rename();
        if (fsync(folders.out.get()) != 0)
            throw ExportError("cannot make the output folder " + options.outFolder +
                              " durable: " + systemError());
    }

    // The tables are written by now: a database that fails is told, and stays as it was.
    if (!options.databaseFile.empty()) {
        try {
            const DatabaseUpdate update =
                updateDatabase(options.databaseFile, next, folders.out.get(), options.progress);
            report.databaseSourcesLoaded = update.sourcesLoaded;
        } catch (const std::runtime_error& error) {
            report.databaseFailure = error.what();
        }
    }
    return report;
}

} // namespace veltrum::exporting
