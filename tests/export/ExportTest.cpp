// The export: how files are told from their names, how the workbooks' texts become numbers, how a file
// that a session is writing is read, and how a second export builds on the first.
#include "export/Exporter.h"
#include "export/ResultsFolder.h"
#include "export/SafeRead.h"
#include "export/SourceName.h"
#include "export/SourceRows.h"
#include "workbook/commit/DurableFile.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace veltrum::testing {
namespace {

namespace fs = std::filesystem;
using namespace exporting;

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "veltrum-export-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line.substr(0, line.size() - (line.ends_with('\r') ? 1 : 0)));
    return result;
}

// Reads at once: no pause, and every file old enough to have settled.
ReadPolicy atOnce() {
    ReadPolicy policy;
    policy.pause = [](int) {};
    policy.now = [] { return LLONG_MAX / 2; };
    return policy;
}

ExportOptions options(const Folder& folder, const std::string& out) {
    ExportOptions result;
    result.dataFolder = folder / "Veltrum";
    result.outFolder = folder / out;
    result.readPolicy = atOnce();
    return result;
}

std::vector<std::string> files(const std::vector<SourceChange>& changes) {
    std::vector<std::string> result;
    for (const SourceChange& change : changes)
        result.push_back(change.file + ":" + std::to_string(change.rows));
    return result;
}

TEST(ExportNames, SessionFilesAreToldFromTheirNamesReadFromTheRight) {
    struct Case {
        const char* name;
        NameRole role;
        SourceKind kind;
        const char* subject;
        long session;
        int copy;
    };
    const Case cases[] = {
        {"P101.3.xls", NameRole::Trials, SourceKind::Saved, "P101", 3, 1},
        {"Bird.A.12.xls", NameRole::Trials, SourceKind::Saved, "Bird.A", 12, 1},
        {"P101.3.not-saved.xls", NameRole::Trials, SourceKind::NotSaved, "P101", 3, 1},
        {"P.1.3.not-saved-2.xls", NameRole::Trials, SourceKind::NotSaved, "P.1", 3, 2},
        {"P101.3.discarded-3.xls", NameRole::Trials, SourceKind::Discarded, "P101", 3, 3},
        {"P101.3.rows-not-in-workbook.csv", NameRole::Trials, SourceKind::Recovery, "P101", 3, 1},
        {"P101.3.rows-not-in-workbook-2.csv", NameRole::Trials, SourceKind::Recovery, "P101", 3, 2},
        // A subject whose own name ends like a marker is still a saved session's subject.
        {"A.not-saved.4.xls", NameRole::Trials, SourceKind::Saved, "A.not-saved", 4, 1},
        {"Results_Summary.xls", NameRole::Summary, SourceKind::Saved, "", 0, 1},
        {"Session_Template.xls", NameRole::Quiet, SourceKind::Saved, "", 0, 1},
        {".P101.3.xls.journal", NameRole::Quiet, SourceKind::Saved, "", 0, 1},
        {".P101.3.xls.rollback", NameRole::Quiet, SourceKind::Saved, "", 0, 1},
        {"P101.3.png", NameRole::Quiet, SourceKind::Saved, "", 0, 1},
        {"P101.3.not-saved-1.xls", NameRole::Foreign, SourceKind::Saved, "", 0, 1},
        {"P101.xls", NameRole::Foreign, SourceKind::Saved, "", 0, 1},
        {".3.xls", NameRole::Quiet, SourceKind::Saved, "", 0, 1},
        {"notes.CSV", NameRole::Foreign, SourceKind::Saved, "", 0, 1},
        {"notes.txt", NameRole::Other, SourceKind::Saved, "", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SourceName name = parseSourceName(c.name);
        EXPECT_EQ(name.role, c.role);
        EXPECT_EQ(name.kind, c.kind);
        EXPECT_EQ(name.subject, c.subject);
        EXPECT_EQ(name.session, c.session);
        EXPECT_EQ(name.copy, c.copy);
    }
}

TEST(ExportTyping, TextTimesAndRatesBecomeNumbersAndAValueOfTheWrongKindIsLeftEmptyAndTold) {
    Folder folder;
    ResultsFolder results(folder / "Veltrum");
    std::vector<workbook::AppendRow> rows = trialRows("Bird.A", 7, 3, 2);
    rows[1][7].value = workbook::AppendValue::fromText("soon"); // SessionTime
    rows[1][1].value = workbook::AppendValue::fromText("2026-13-40");
    const std::string path = results.addWorkbook("Bird.A.7.xls", rows);
    const SourceRows trials =
        trialRowsFromWorkbook(contents(path), {"Bird.A", 7, SourceKind::Live, "Results/x"});
    EXPECT_EQ(lines(trials.csv),
              (std::vector<std::string>{
                  "Bird.A,7,1,2026-01-12,3,SuccDisc,2,1,1,12.00,-0.30,2,0,Reward,0,Results/x,live",
                  "Bird.A,7,2,,3,SuccDisc,2,1,2,,2.20,2,1,NotGoal,0,Results/x,live",
              }));
    EXPECT_EQ(trials.badValues, 2);
    EXPECT_EQ(trials.firstBadValue, "row 2, \"Date\" holds \"2026-13-40\"");
    EXPECT_EQ(trials.otherSessionRows, 0);

    // The summary: texts and the number 0 as numbers, the time of day, ordered by subject and session.
    results.addSession("A", 2, 2, 0);
    results.addSession("A", 1, 3, 0);
    results.saveSummary();
    const SourceRows sessions =
        sessionRowsFromSummary(contents(results.results() + "/Results_Summary.xls"), "Results_Summary.xls");
    const std::vector<std::string> summary = lines(sessions.csv);
    ASSERT_EQ(summary.size(), 6u);
    EXPECT_EQ(summary[0],
              "A,1,6,2026-01-06,09:01:01,12345,3,SuccDisc,40,Version 6.1,0.78,0.53,0.70,0.21,0.50,30,"
              "25,30,3,40,30,1,0,1,3,6,4,5,No,,");
    EXPECT_EQ(summary[1],
              "A,2,5,2026-01-07,09:02:02,12345,2,Auto,40,Version 6.1,0.80,0.55,0,0.21,0,30,25,30,3,40,30,"
              "1,0,1,3,6,4,5,No,,");
    EXPECT_TRUE(
        summary[2].starts_with("P101,1,1,2026-01-05,09:30:12,12345,1,MagTrain,10,Version 6.1,1.20,0,0,0,0,"));
}

TEST(ConsistentRead, AWorkbookAppendedWhileItWasReadIsReadAgainAndOneUnderAnAppendIsLeftForLater) {
    Folder folder;
    ResultsFolder results(folder / "Veltrum");
    // Past the size at which the workbook's stream leaves the compound file's small blocks, the first append
    // lays it out anew (a new file) and the next ones write into it in place.
    const std::string path = results.addWorkbook("P1.1.xls", trialRows("P1", 1, 2, 40));
    workbook::appendRecordsInPlace(path, "Data", {trialRows("P1", 1, 2, 1)[0]});
    // Last written a minute ago, as the settling wait makes sure before a read.
    const struct timespec aMinuteAgo[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), aMinuteAgo, 0), 0);
    const int resultsFd = ::open(results.results().c_str(), O_RDONLY | O_DIRECTORY);
    ReadPolicy policy = atOnce();
    int appends = 0;
    policy.afterRead = [&] {
        if (appends++ == 0)
            workbook::appendRecordsInPlace(path, "Data", {trialRows("P1", 1, 2, 1)[0]});
    };
    int pauses = 0;
    policy.pause = [&](int) { ++pauses; };
    const ReadOutcome read = readConsistently(resultsFd, "P1.1.xls", policy);
    ASSERT_EQ(read.status, ReadStatus::Read);
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(trialRowsFromWorkbook(read.bytes, {"P1", 1, SourceKind::Saved, "f"}).rows, 42);

    // The rollback journal of an append under way: never taken, whatever the file looks like.
    workbook::replaceFileDurably(results.results() + "/.P1.1.xls.rollback", std::vector<std::uint8_t>{1});
    pauses = 0;
    const ReadOutcome busy = readConsistently(resultsFd, "P1.1.xls", policy);
    EXPECT_EQ(busy.status, ReadStatus::Busy);
    EXPECT_EQ(busy.reason, "an append to it was under way");
    EXPECT_EQ(pauses, policy.attempts - 1);

    // A file modified a moment ago waits too: its last write may not be the last.
    fs::remove(results.results() + "/.P1.1.xls.rollback");
    policy.now = [&] { return examine(resultsFd, "P1.1.xls").key.modifiedNs + 1'000'000; };
    EXPECT_EQ(readConsistently(resultsFd, "P1.1.xls", policy).status, ReadStatus::Busy);
    ::close(resultsFd);
}

TEST(ConsistentRead, NothingButARegularFileIsOpenedAndAHugeOneIsRefusedBySize) {
    Folder folder;
    const int fd = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY);
    ResultsFolder results(folder / "Veltrum");
    fs::create_symlink(results.results() + "/Session_Template.xls", folder / "link.xls");
    ASSERT_EQ(::mkfifo((folder / "pipe.xls").c_str(), 0600), 0);
    fs::create_directory(folder / "dir.xls");
    { std::ofstream(folder / "big.xls") << std::string(2048, 'x'); }
    ReadPolicy policy = atOnce();
    policy.maxBytes = 1024;
    for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
             {"link.xls", "a symbolic link"},
             {"pipe.xls", "a named pipe"},
             {"dir.xls", "a folder"},
             {"big.xls", "0.0 MB, larger than any file the program writes"}}) {
        const ReadOutcome read = readConsistently(fd, name, policy);
        EXPECT_EQ(read.status, ReadStatus::Refused) << name;
        EXPECT_EQ(read.reason, reason);
    }
    ::close(fd);
}

// Everything a table holds, ordered, for comparing a database brought up to date with one made afresh.
std::string dump(const std::string& database, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3, 16").c_str(), -1,
                       &query, nullptr);
    std::string text;
    while (sqlite3_step(query) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(query); ++i)
            text +=
                std::to_string(sqlite3_column_type(query, i)) + ":" +
                (sqlite3_column_text(query, i) ? reinterpret_cast<const char*>(sqlite3_column_text(query, i))
                                               : "") +
                "|";
        text += "\n";
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return text;
}

TEST(IncrementalExport, ASecondExportReadsOnlyWhatChangedSaysSoAndEqualsAFreshOne) {
    Folder folder;
    ResultsFolder results(folder / "Veltrum");
    results.addSession("P1", 1, 1, 5);
    results.addSession("P1", 2, 2, 6);
    results.addSession("P2", 1, 1, 7);
    results.saveSummary();
    results.addRecoveryFile(folder / "Veltrum", "P2.1.rows-not-in-workbook.csv", trialRows("P2", 1, 1, 2));
    ExportOptions first = options(folder, "out");
    first.databaseFile = folder / "out.sqlite";
    const ExportReport before = exportTables(first);
    EXPECT_TRUE(before.fromScratch);
    EXPECT_EQ(before.trialRows, 20);
    EXPECT_EQ(before.sessionRows, 7);

    // A new session before the others in the order, one changed, one gone.
    results.addSession("P0", 1, 1, 3);
    results.saveSummary();
    fs::remove(results.results() + "/P1.2.xls");
    results.addWorkbook("P1.2.xls", trialRows("P1", 2, 2, 9));
    fs::remove(results.results() + "/P2.1.xls");
    const ExportReport after = exportTables(first);
    EXPECT_FALSE(after.fromScratch);
    EXPECT_EQ(files(after.added), std::vector<std::string>{"Results/P0.1.xls:3"});
    EXPECT_EQ(files(after.changed), std::vector<std::string>{"Results/P1.2.xls:9"});
    EXPECT_EQ(after.changed[0].rowsBefore, 6);
    EXPECT_EQ(after.removed, std::vector<std::string>{"Results/P2.1.xls"});
    EXPECT_EQ(after.filesRead, 3u); // the new session, the changed one, the summary
    EXPECT_EQ(after.trialRows, 3 + 5 + 9 + 2);
    EXPECT_EQ(after.databaseSourcesLoaded, 2u);

    ExportOptions fresh = options(folder, "fresh");
    fresh.databaseFile = folder / "fresh.sqlite";
    exportTables(fresh);
    EXPECT_EQ(contents(folder / "out/trials.csv"), contents(folder / "fresh/trials.csv"));
    EXPECT_EQ(contents(folder / "out/sessions.csv"), contents(folder / "fresh/sessions.csv"));
    EXPECT_EQ(dump(folder / "out.sqlite", "trials"), dump(folder / "fresh.sqlite", "trials"));
    EXPECT_EQ(dump(folder / "out.sqlite", "sessions"), dump(folder / "fresh.sqlite", "sessions"));

    // Nothing new: nothing read, nothing written.
    const ExportReport again = exportTables(first);
    EXPECT_EQ(again.filesRead, 0u);
    EXPECT_FALSE(again.trialsWritten);
    EXPECT_FALSE(again.sessionsWritten);
}

TEST(IncrementalExport, AWorkbookBeingWrittenKeepsItsRowsOfTheLastExportAndABrokenTableIsMadeAfresh) {
    Folder folder;
    ResultsFolder results(folder / "Veltrum");
    results.addSession("P1", 1, 1, 5);
    results.addSession("P1", 2, 1, 4);
    results.saveSummary();
    exportTables(options(folder, "out"));
    const std::string earlier = contents(folder / "out/trials.csv");

    workbook::appendRecordsInPlace(results.results() + "/P1.1.xls", "Data", {trialRows("P1", 1, 1, 6)[5]});
    workbook::replaceFileDurably(results.results() + "/.P1.1.xls.rollback", std::vector<std::uint8_t>{1});
    const ExportReport busy = exportTables(options(folder, "out"));
    EXPECT_EQ(busy.leftForLater,
              std::vector<std::string>{"Results/P1.1.xls: an append to it was under way; its "
                                       "rows as of the last export are kept"});
    EXPECT_EQ(contents(folder / "out/trials.csv"), earlier);

    // Once the append is over, the next export takes the row; a table changed behind the export's back
    // is not built on.
    fs::remove(results.results() + "/.P1.1.xls.rollback");
    { std::ofstream(folder / "out/trials.csv", std::ios::app) << "edited\r\n"; }
    const ExportReport next = exportTables(options(folder, "out"));
    EXPECT_TRUE(next.fromScratch);
    EXPECT_EQ(next.trialRows, 10);
    EXPECT_TRUE(next.leftForLater.empty());
}

TEST(ExportSafety, NoTableGoesIntoResultsAndAForeignDatabaseIsNotTouched) {
    Folder folder;
    ResultsFolder results(folder / "Veltrum");
    results.addSession("P1", 1, 1, 5);
    ExportOptions inside = options(folder, "Veltrum/Results/tables");
    EXPECT_THROW(exportTables(inside), ExportError);
    inside.outFolder = folder / "Veltrum/Results/../Results";
    EXPECT_THROW(exportTables(inside), ExportError);
    EXPECT_FALSE(fs::exists(results.results() + "/tables"));

    sqlite3* db = nullptr;
    sqlite3_open((folder / "mine.sqlite").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE notes (text TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string mine = contents(folder / "mine.sqlite");
    ExportOptions foreign = options(folder, "out");
    foreign.databaseFile = folder / "mine.sqlite";
    EXPECT_THROW(exportTables(foreign), ExportError);
    EXPECT_EQ(contents(folder / "mine.sqlite"), mine);
    EXPECT_FALSE(fs::exists(folder / "out"));
}

} // namespace
} // namespace veltrum::testing
