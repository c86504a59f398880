// The row journal: rows survive a kill at any instant, come back exactly once at the next start, and
// every value comes back as it went in.
#include "records/RowJournal.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/append/StructureCheck.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/inplace/FilePatch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrum::testing {
namespace {

namespace fs = std::filesystem;

workbook::AppendRow row(int n) {
    return {{"Trial", workbook::AppendValue::fromNumber(n)},
            {"Outcome", workbook::AppendValue::fromText(n % 2 ? "S-" : "Reward")}};
}

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "veltrum-journal-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
};

std::vector<int> trials(const std::string& workbookPath) {
    const workbook::Workbook book = workbook::Workbook::open(workbookPath);
    const workbook::Table table(book, "Data");
    std::vector<int> result;
    for (int r = 0; r < table.recordCount(); ++r)
        result.push_back(static_cast<int>(table.field(r, table.column("Trial")).number));
    return result;
}

// Commits rows n, n+1, ... one at a time, reporting each on `fd`, bringing the workbook up to date
// (in place) every second row, so that kills often land inside an append.
[[noreturn]] void commitForever(const std::string& path, int next, int fd) {
    try {
        records::JournalledRowSink sink(path);
        for (int k = 1;; ++k, ++next) {
            sink.append({row(next)});
            if (::write(fd, "x", 1) != 1)
                ::_exit(1);
            if (k % 2 == 0)
                sink.flush(false);
        }
    } catch (...) {
        ::_exit(2);
    }
}

TEST(RowJournal, AKillAtAnyInstantLosesNoCommittedRowAndTheNextStartBringsEachInOnce) {
    Folder folder;
    const std::string path = (folder.path / "P1.1.xls").string();
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, path);
    std::mt19937 random(20261209);
    int committed = 0;
    int interrupted = 0;
    for (int kill = 0; kill < 40; ++kill) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            commitForever(path, committed, fds[1]);
        }
        ::close(fds[1]);
        char byte;
        const int wanted = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < wanted && ::read(fds[0], &byte, 1) == 1; ++i)
            ++committed;
        volatile unsigned spin = 0;
        for (unsigned n = random() % 300000; n > 0; --n)
            spin = spin + n;
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        while (::read(fds[0], &byte, 1) == 1)
            ++committed;
        ::close(fds[0]);

        interrupted += fs::exists(workbook::rollbackPathFor(path));
        const records::JournalRecovery recovery = records::recoverJournal(path);
        ASSERT_EQ(recovery.problem, "") << "after kill " << kill;
        ASSERT_EQ(workbook::checkWorkbookStructure(workbook::readWholeFile(path)),
                  std::vector<std::string>{});
        const std::vector<int> rows = trials(path);
        ASSERT_GE(static_cast<int>(rows.size()), committed) << "a committed row was lost, kill " << kill;
        for (std::size_t i = 0; i < rows.size(); ++i)
            ASSERT_EQ(rows[i], static_cast<int>(i)) << "after kill " << kill;
        ASSERT_FALSE(fs::exists(records::journalPathFor(path)));
        ASSERT_FALSE(fs::exists(workbook::rollbackPathFor(path)));
        committed = static_cast<int>(rows.size());
    }
    EXPECT_GT(committed, 40);
    RecordProperty("appends interrupted", interrupted);
}

TEST(RowJournal, EveryValueComesBackAsItWentInAndATornTailIsIgnored) {
    using workbook::AppendValue;
    const workbook::AppendRow awkward{{"Sub:ject", AppendValue::fromText("a\tb\nc\\d:e \xC3\xA9")},
                                      {"Date", AppendValue::fromDate(2026, 12, 9)},
                                      {"SessionTime", AppendValue::fromNumber(0.1 + 0.2)},
                                      {"Comment", AppendValue::fromText("")},
                                      {"Blank", AppendValue::empty()}};
    workbook::AppendRow back;
    ASSERT_TRUE(records::fromJournalLine(records::toJournalLine(awkward), back));
    ASSERT_EQ(back.size(), awkward.size());
    for (std::size_t i = 0; i < awkward.size(); ++i) {
        EXPECT_EQ(back[i].header, awkward[i].header);
        EXPECT_EQ(back[i].value.kind, awkward[i].value.kind);
        EXPECT_EQ(back[i].value.number, awkward[i].value.number);
        EXPECT_EQ(back[i].value.text, awkward[i].value.text);
    }

    Folder folder;
    const std::string path = (folder.path / "P1.2.xls").string();
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, path);
    {
        records::JournalledRowSink sink(path);
        sink.append({row(0), row(1)});
        sink.flush(false); // in the workbook, the journal kept: as after a crash before the end
        sink.append({row(2)});
    }
    std::ofstream(records::journalPathFor(path), std::ios::app) << "N:Trial:3\tT:Outc"; // torn by a crash
    const records::JournalRecovery recovery = records::recoverJournal(path);
    EXPECT_EQ(recovery.problem, "");
    EXPECT_EQ(recovery.rowsAdded, 1u);
    EXPECT_EQ(trials(path), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(records::recoverJournal(path).workbook, "") << "the journal is gone once recovered";
}

TEST(RowJournal, AnAppendCutShortWhoseRowsWentElsewhereIsRolledBackAtTheNextStart) {
    Folder folder;
    const std::string path = (folder.path / "P1.3.xls").string();
    fs::copy_file(VELTRUM_SESSION_TEMPLATE, path);
    std::vector<workbook::AppendRow> rows;
    for (int n = 0; n < 40; ++n)
        rows.push_back(row(n));
    workbook::appendRecordsInPlace(path, "Data", rows);
    workbook::appendRecordsInPlace(path, "Data", rows);
    const std::vector<std::uint8_t> before = workbook::readWholeFile(path);
    // The rows written, but the rollback journal not removed; the sink then hands its rows to a
    // recovery file and removes its row journal.
    workbook::setCommitFaultHook(
        [](workbook::CommitStep step) { return step == workbook::CommitStep::RollbackRemove; });
    EXPECT_THROW(workbook::appendRecordsInPlace(path, "Data", {row(80)}), workbook::WorkbookError);
    workbook::setCommitFaultHook({});
    EXPECT_TRUE(records::recoverJournals(folder.path.string()).empty());
    EXPECT_EQ(workbook::readWholeFile(path), before);
    EXPECT_FALSE(fs::exists(workbook::rollbackPathFor(path)));
}

} // namespace
} // namespace veltrum::testing
