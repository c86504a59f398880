// A Results folder others write: nothing is written or rolled back through a planted link, a journal is
// applied only to its own session's workbook, a subject runs in one session at a time, and a session is
// recorded once in the summary.
#include "platform/LocalFileSystem.h"
#include "records/RowJournal.h"
#include "records/SessionRecords.h"
#include "records/SubjectClaim.h"
#include "workbook/Appender.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/inplace/FilePatch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrum::testing {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "veltrum-shared-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

workbook::AppendRow trialRow(const std::string& subject, int session, int trial) {
    return {{"Subject", workbook::AppendValue::fromText(subject)},
            {"Session", workbook::AppendValue::fromNumber(session)},
            {"Trial", workbook::AppendValue::fromNumber(trial)},
            {"Outcome", workbook::AppendValue::fromText("Reward")}};
}

int rowsOf(const std::string& path) {
    return workbook::Table(workbook::Workbook::open(path), "Data").recordCount();
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A session workbook laid out for appending in place, and a whole rollback journal left beside it, as an
// append that died before removing its journal leaves them.
void leaveRollbackJournal(const std::string& workbookPath) {
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, workbookPath);
    // The first append lays the file out; the next ones write in place once the sheet has outgrown the
    // compound file's small-stream area.
    const std::vector<workbook::AppendRow> rows(40, trialRow("P101", 4, 1));
    workbook::appendRecordsInPlace(workbookPath, "Data", rows);
    workbook::appendRecordsInPlace(workbookPath, "Data", rows);
    workbook::setCommitFaultHook(
        [](workbook::CommitStep step) { return step == workbook::CommitStep::RollbackRemove; });
    EXPECT_THROW(workbook::appendRecordsInPlace(workbookPath, "Data", rows), workbook::WorkbookError);
    workbook::setCommitFaultHook({});
    ASSERT_TRUE(fs::exists(workbook::rollbackPathFor(workbookPath)));
}

TEST(SharedFolder, ARollbackJournalBesideALinkedWorkbookIsNeverAppliedThroughTheLink) {
    Folder folder;
    const std::string workbook = folder / "P101.4.xls";
    leaveRollbackJournal(workbook);
    // Someone else replaces the workbook with a link to one of the operator's own files.
    const std::string victim = folder / "operator-private.txt";
    write(victim, "the operator's own words");
    fs::remove(workbook);
    fs::create_symlink(victim, workbook);

    EXPECT_THROW(workbook::rollBackInterruptedAppend(workbook), workbook::WorkbookError);
    const std::vector<records::JournalRecovery> reports = records::recoverJournals(folder.path.string());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].problem.find("symbolic link"), std::string::npos) << reports[0].problem;
    EXPECT_EQ(contents(victim), "the operator's own words");
    EXPECT_TRUE(fs::exists(workbook::rollbackPathFor(workbook))) << "left alone for the operator to see";

    // A second name of the same file (a hard link) is refused alike.
    fs::remove(workbook);
    fs::create_hard_link(victim, workbook);
    EXPECT_THROW(workbook::rollBackInterruptedAppend(workbook), workbook::WorkbookError);
    EXPECT_EQ(contents(victim), "the operator's own words");
}

TEST(SharedFolder, ALinkPlantedUnderTheRollbackJournalsNameIsNeitherWrittenNorRemoved) {
    Folder folder;
    const std::string workbook = folder / "P101.4.xls";
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, workbook);
    const std::vector<workbook::AppendRow> rows(40, trialRow("P101", 4, 1));
    workbook::appendRecordsInPlace(workbook, "Data", rows);
    const std::string victim = folder / "operator-private.txt";
    write(victim, "the operator's own words");
    fs::create_symlink(victim, workbook::rollbackPathFor(workbook));

    // The rows still reach the workbook, by the whole rewrite that needs no rollback journal.
    workbook::appendRecordsInPlace(workbook, "Data", rows);
    EXPECT_EQ(rowsOf(workbook), 80);
    EXPECT_EQ(contents(victim), "the operator's own words");
    EXPECT_TRUE(fs::is_symlink(workbook::rollbackPathFor(workbook)));
    // And the replace refuses to write through a link under the workbook's own name.
    const std::string linked = folder / "P101.5.xls";
    fs::create_symlink(victim, linked);
    EXPECT_THROW(workbook::appendRecords(linked, "Data", {trialRow("P101", 5, 1)}), workbook::WorkbookError);
    EXPECT_EQ(contents(victim), "the operator's own words");
}

TEST(SharedFolder, AJournalIsAppliedOnlyWhenItIsAFileOfTheWorkbooksOwnSession) {
    Folder folder;
    const std::string workbook = folder / "P101.4.xls";
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, workbook);
    const std::string journal = records::journalPathFor(workbook);
    const std::string header = "veltrum-journal 1 0\n";

    // A link to another file's lines.
    const std::string elsewhere = folder / "elsewhere";
    write(elsewhere, header + records::toJournalLine(trialRow("P101", 4, 1)) + "\n");
    fs::create_symlink(elsewhere, journal);
    records::JournalRecovery result = records::recoverJournal(workbook);
    EXPECT_NE(result.problem.find("symbolic link"), std::string::npos) << result.problem;
    EXPECT_EQ(rowsOf(workbook), 0);
    EXPECT_TRUE(fs::is_symlink(journal));
    fs::remove(journal);

    // A journal of another subject's session under this workbook's name.
    write(journal, header + records::toJournalLine(trialRow("P101", 4, 1)) + "\n" +
                       records::toJournalLine(trialRow("P102", 4, 2)) + "\n");
    result = records::recoverJournal(workbook);
    EXPECT_NE(result.problem.find("P102, session 4"), std::string::npos) << result.problem;
    EXPECT_EQ(rowsOf(workbook), 0);
    EXPECT_TRUE(fs::exists(journal));

    // Its own rows are brought in.
    write(journal, header + records::toJournalLine(trialRow("P101", 4, 1)) + "\n");
    result = records::recoverJournal(workbook);
    EXPECT_EQ(result.problem, "");
    EXPECT_EQ(rowsOf(workbook), 1);
}

records::ClaimIdentity someone(const std::string& subject, const std::string& host = "") {
    records::ClaimIdentity who = records::ClaimIdentity::ofThisProcess(subject, "4", "12345", "veltrum test");
    if (!host.empty())
        who.host = host;
    return who;
}

TEST(SubjectClaim, ASubjectIsHeldByOneSessionUntilItsClaimGoes) {
    Folder folder;
    const std::string results = folder.path.string();
    auto first = records::claimSubject(results, someone("P101"), false, false);
    try {
        records::claimSubject(results, someone("P101"), true, false);
        FAIL() << "a subject claimed by a running program was claimed again";
    } catch (const records::SubjectHeld& held) {
        EXPECT_FALSE(held.found().left);
        EXPECT_NE(std::string(held.what()).find("tablet port 12345"), std::string::npos) << held.what();
    }
    // Another subject is free.
    EXPECT_NO_THROW(records::claimSubject(results, someone("P102"), false, false));
    first.reset();
    EXPECT_FALSE(fs::exists(records::claimPathFor(results, "P101")));
    EXPECT_NO_THROW(records::claimSubject(results, someone("P101"), false, false));
}

// The claim stays in the folder, as a program that dies leaves it.
void leaveBehind(std::unique_ptr<records::SubjectClaim> claim) {
    const std::string path = claim->path();
    fs::rename(path, path + ".kept");
    claim.reset();
    fs::rename(path + ".kept", path);
}

TEST(SubjectClaim, AClaimLeftByACrashIsRecognisedAndTakenOverOnlyWhenAsked) {
    Folder folder;
    const std::string results = folder.path.string();
    // A program on this computer that has ended.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    records::ClaimIdentity gone = someone("P101");
    gone.pid = child;
    gone.processStart.clear();
    leaveBehind(records::claimSubject(results, gone, false, false)); // as by a crash
    try {
        records::claimSubject(results, someone("P101"), false, false);
        FAIL() << "a left claim was replaced without being asked";
    } catch (const records::SubjectHeld& held) {
        EXPECT_TRUE(held.found().left);
        EXPECT_NE(held.found().reason.find("no longer running"), std::string::npos);
    }
    const auto taken = records::claimSubject(results, someone("P101"), true, false);
    EXPECT_EQ(records::findClaim(results, "P101")->holder.token, taken->identity().token);

    // On another computer, a claim counts as left once it has not been refreshed for a minute.
    const auto remote = records::claimSubject(results, someone("P102", "labpc9"), false, false);
    EXPECT_FALSE(records::findClaim(results, "P102")->left);
    const timespec old[2] = {{0, UTIME_OMIT},
                             {::time(nullptr) - 2 * records::SubjectClaim::StaleAfterSeconds, 0}};
    ::utimensat(AT_FDCWD, records::claimPathFor(results, "P102").c_str(), old, 0);
    EXPECT_TRUE(records::findClaim(results, "P102")->left);
    remote->refresh();
    EXPECT_FALSE(records::findClaim(results, "P102")->left);
}

TEST(SubjectClaim, ClaimTakenOverIsNotRemovedByItsFormerHolder) {
    Folder folder;
    const std::string results = folder.path.string();
    auto first = records::claimSubject(results, someone("P101", "labpc9"), false, false);
    const timespec old[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ::utimensat(AT_FDCWD, records::claimPathFor(results, "P101").c_str(), old, 0);
    const auto second = records::claimSubject(results, someone("P101"), true, false);
    first.reset();
    ASSERT_TRUE(records::findClaim(results, "P101"));
    EXPECT_EQ(records::findClaim(results, "P101")->holder.token, second->identity().token);
}

TEST(WorkbookRecords, RecoveryLeavesTheJournalOfASessionRunningElsewhereAlone) {
    Folder folder;
    platform::LocalFileSystem files;
    records::WorkbookRecords records(files);
    const std::string workbook = folder / "P101.4.xls";
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, workbook);
    write(records::journalPathFor(workbook),
          "veltrum-journal 1 0\n" + records::toJournalLine(trialRow("P101", 4, 1)) + "\n");
    {
        const auto running =
            records::claimSubject(folder.path.string(), someone("P101", "labpc9"), false, false);
        EXPECT_TRUE(records.recoverEarlierRows(folder.path.string()).empty());
        EXPECT_EQ(rowsOf(workbook), 0);
        EXPECT_TRUE(fs::exists(records::journalPathFor(workbook)));
    }
    // Once that session has gone, its rows are brought in.
    EXPECT_EQ(records.recoverEarlierRows(folder.path.string()).at(0).rowsAdded, 1u);
    EXPECT_EQ(rowsOf(workbook), 1);
}

TEST(WorkbookRecords, AnUnsavedSessionIsKeptAsideWithItsPictureAndASessionIsRecordedOnce) {
    Folder folder;
    platform::LocalFileSystem files;
    records::WorkbookRecords records(files);
    const std::string workbook = folder / "P101.4.xls";
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, workbook);
    write(folder / "P101.4.png", "picture of the earlier session");
    EXPECT_EQ(records.createSessionWorkbook(VELTRUM_SESSION_TEMPLATE, workbook, {"Subject", "Outcome"}),
              folder / "P101.4.not-saved.xls");
    EXPECT_EQ(contents(folder / "P101.4.not-saved.png"), "picture of the earlier session");
    EXPECT_FALSE(fs::exists(folder / "P101.4.png"));

    const std::string summary = folder / "Results_Summary.xls";
    fs::copy_file(VELTRUM_SUMMARY_TEMPLATE, summary);
    const auto record = [](const std::string& subject, int session) {
        return workbook::AppendRow{{"Subject", workbook::AppendValue::fromText(subject)},
                                   {"Session", workbook::AppendValue::fromNumber(session)}};
    };
    records.appendSummaryRecord(summary, "All", record("P101", 4));
    records.appendSummaryRecord(summary, "All", record("P102", 4));
    const std::string before = contents(summary);
    try {
        records.appendSummaryRecord(summary, "All", record("P101", 4));
        FAIL() << "a second record of one session was appended";
    } catch (const workbook::WorkbookError& error) {
        EXPECT_NE(std::string(error.what()).find("P101, session 4"), std::string::npos) << error.what();
    }
    EXPECT_EQ(contents(summary), before);
}

} // namespace
} // namespace veltrum::testing
