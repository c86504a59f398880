// The session's data rows: a row that cannot be written is kept and written later, in order, and a
// failure inside a handler is shown to the operator instead of ending the session.
#include "ScenarioHarness.h"

#include "session/Form1.h"
#include "support/MemoryRecords.h"
#include "support/VirtualCommitRunner.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

namespace veltrum::testing {
namespace {

// LibreOffice's mark beside a workbook it has open: the appender refuses to write behind its back.
std::string lockFile(const ScenarioHarness& h) {
    return h.folder() + "/Results/.~lock.S1.1.xls#";
}

TEST(RecordTrial, RowThatCannotBeWrittenWaitsAndIsWrittenFirstWithTheNextRow) {
    ScenarioHarness h; // MagTrain: timeouts at 9, 18 and 27 s
    session::crt& w = h.start(1);
    std::ofstream(lockFile(h)) << "operator,host,,01.01.2026 10:00;";
    h.run(9.5);
    EXPECT_NE(h.dialogs.currentNotice().find("1 trial row waits"), std::string::npos)
        << h.dialogs.currentNotice();
    EXPECT_EQ(w.rows.pendingRowCount(), 1u);
    EXPECT_TRUE(h.rows().empty());
    EXPECT_TRUE(w.Form.isVisible()) << "the session goes on";

    std::filesystem::remove(lockFile(h));
    h.run(9.0);
    EXPECT_EQ(w.rows.pendingRowCount(), 0u);
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(ScenarioHarness::number(rows[0], "Trial"), 1);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "SessionTime"), "9.00") << "the row keeps the time of its event";
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Trial"), 2);
    EXPECT_EQ(h.dialogs.currentNotice(), "") << "the notice goes once the rows are written";
    EXPECT_TRUE(h.dialogs.messages().empty()) << "no modal box during the session";
}

// A disk that takes five seconds per commit changes nothing the chamber does or when it does it: the same
// events at the same times as with a fast disk, and the same rows, in order, once the writer has settled.
TEST(RecordTrial, ASlowDiskNeverHoldsTheChamberAndEveryRowArrivesInOrder) {
    const auto session = [](ScenarioHarness& h) {
        std::vector<std::pair<engine::SessionEventKind, std::int64_t>> chamber;
        h.window().events().subscribe([&](const engine::SessionEvent& e) {
            if (e.kind != engine::SessionEventKind::RowCommitted)
                chamber.emplace_back(e.kind, e.atMs);
        });
        h.start(1);
        h.runToEnd();
        return chamber;
    };
    ScenarioHarness fast;
    ScenarioHarness slow;
    VirtualCommitRunner fiveSeconds(slow.scheduler, 5000);
    slow.commitRunner = &fiveSeconds;
    const auto fastEvents = session(fast);
    const auto slowEvents = session(slow);
    EXPECT_EQ(slowEvents, fastEvents);
    EXPECT_GT(slow.window().rows.pendingRowCount(), 0u) << "rows were still being written at the end";
    EXPECT_TRUE(slow.window().rows.settleWaitingRows());
    const std::vector<Row> fastRows = fast.rows();
    const std::vector<Row> slowRows = slow.rows();
    ASSERT_EQ(slowRows.size(), fastRows.size());
    for (std::size_t i = 0; i < fastRows.size(); ++i)
        for (const char* column : {"Trial", "SessionTime", "TrialTime", "Outcome"})
            EXPECT_EQ(ScenarioHarness::text(slowRows[i], column), ScenarioHarness::text(fastRows[i], column))
                << "row " << i + 1 << ", " << column;
}

// Rows committed to the journal but not yet in the workbook when the program dies come back, once, when
// it starts again; the operator is told.
TEST(RecordTrial, RowsTheProgramDiedWithAreBroughtInAtTheNextStart) {
    ScenarioHarness h; // MagTrain: timeouts at 9 and 18 s
    h.rowsToWorkbookEveryMs = 60000;
    h.start(1);
    h.run(20);
    EXPECT_TRUE(h.rows().empty()) << "the workbook is brought up to date only every minute";
    EXPECT_EQ(h.window().rows.pendingRowCount(), 2u);
    h.restart();
    h.window().Form_Load();
    EXPECT_NE(h.dialogs.currentNotice().find("2 trial rows committed by an earlier run"), std::string::npos)
        << h.dialogs.currentNotice();
    ASSERT_EQ(h.rows().size(), 2u);
    EXPECT_EQ(ScenarioHarness::number(h.rows()[1], "Trial"), 2);
    EXPECT_FALSE(std::filesystem::exists(records::journalPathFor(h.dataFile())));
}

// Whatever keeps the records, the session reaches it whole: its rows, its summary record, and from that
// the next session's number; the data folder's workbooks are not touched.
TEST(RecordTrial, ASessionKeptElsewhereThanInWorkbooksIsKeptWhole) {
    ScenarioHarness h; // MagTrain: timeouts at 9 and 18 s
    MemoryRecords kept;
    h.records = &kept;
    h.start(1);
    h.runToEnd();
    {
        session::Form1 summary(h.window().endedSession(), h.window().services());
        summary.Form_Load();
        forms::Int16 save = 'S';
        summary.Form_KeyPress(save);
        ASSERT_TRUE(summary.isFinished());
        EXPECT_FALSE(std::filesystem::exists(h.dataFile()));
        ASSERT_EQ(kept.workbooks.at(h.dataFile()).size(),
                  static_cast<std::size_t>(h.window().engine().state().CurrentTrial.toInt()));
        ASSERT_EQ(kept.summary.size(), 1u);
    }
    h.restart();
    h.window().Form_Load();
    EXPECT_EQ(h.window().engine().state().SessionNumber, 2);
    EXPECT_EQ(h.window().engine().state().PhaseNumber, 1);
}

// A disk that stays full updates one notice; it never stacks a box per failing row.
TEST(RecordTrial, RowsWaitingAtTheEndAreTriedOnceMoreAndCountedInOneNotice) {
    ScenarioHarness h;
    session::crt& w = h.start(1);
    std::ofstream(lockFile(h)) << "lock";
    h.runToEnd();
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.rows.pendingRowCount(), 3u);
    h.run(1);
    EXPECT_TRUE(h.dialogs.messages().empty());
    EXPECT_NE(h.dialogs.currentNotice().find("3 trial rows wait"), std::string::npos);
    EXPECT_NE(h.dialogs.currentNotice().find(h.dataFile()), std::string::npos);
    EXPECT_TRUE(h.rows().empty());
}

// The summary window of a session whose rows could not all be written.
class WaitingRowsAtTheSummary : public ::testing::Test {
protected:
    void SetUp() override {
        h.start(1);
        std::ofstream(lockFile(h)) << "lock";
        h.runToEnd();
        ASSERT_EQ(h.window().rows.pendingRowCount(), 3u);
        form = std::make_unique<session::Form1>(h.window().endedSession(), h.window().services());
        form->Form_Load();
    }
    void press(char key) {
        forms::Int16 code = static_cast<int>(key);
        form->Form_KeyPress(code);
    }
    int summaryRecords() const {
        const workbook::Workbook book = workbook::Workbook::open(h.folder() + "/Results/Results_Summary.xls");
        return workbook::Table(book, "All").recordCount();
    }

    ScenarioHarness h;
    std::unique_ptr<session::Form1> form;
};

TEST_F(WaitingRowsAtTheSummary, SaysHowManyWhereAndWhyAndSavesNothingUntilTheyAreWritten) {
    const int recordsBefore = summaryRecords();
    EXPECT_TRUE(form->RowStatus.isVisible());
    EXPECT_NE(form->RowStatus.caption().find("3 trial rows"), std::string::npos) << form->RowStatus.caption();
    EXPECT_NE(form->RowStatus.caption().find(h.dataFile()), std::string::npos);
    EXPECT_NE(form->RowStatus.caption().find("lock"), std::string::npos) << "says what failed";

    h.dialogs.queueAnswer(platform::MessageAnswer::No);
    press('S');
    EXPECT_FALSE(form->isFinished());
    EXPECT_EQ(summaryRecords(), recordsBefore) << "nothing reported saved while rows wait";

    std::filesystem::remove(lockFile(h));
    press('R');
    EXPECT_FALSE(form->RowStatus.isVisible());
    EXPECT_EQ(h.rows().size(), 3u);
    press('S');
    EXPECT_TRUE(form->isFinished());
    EXPECT_EQ(summaryRecords(), recordsBefore + 1);
}

TEST_F(WaitingRowsAtTheSummary, SavingAnywayPutsTheRowsInARecoveryFileWhereThereIsRoom) {
    const std::string away = h.folder() + "/no-such-folder";
    const std::string roomy = h.folder() + "/Elsewhere";
    std::filesystem::create_directory(roomy);
    h.window().rows.setRecoveryFolders({away, roomy});
    h.dialogs.queueAnswer(platform::MessageAnswer::Yes);
    press('S');
    ASSERT_TRUE(form->isFinished());

    const std::string recovery = roomy + "/S1.1.rows-not-in-workbook.csv";
    std::ifstream in(recovery, std::ios::binary);
    const std::string csv(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv;
    EXPECT_EQ(csv.rfind("Subject,Date,Session,Phase,TrialType,Trial,Ordinal,SessionTime,TrialTime,Goal,", 0),
              0u);
    EXPECT_NE(csv.find("Trial Timeout"), std::string::npos);
    EXPECT_NE(h.dialogs.messages().back().text.find(recovery), std::string::npos)
        << "the operator is told where the rows went before the program ends";
    EXPECT_EQ(h.window().rows.pendingRowCount(), 0u);
}

TEST(RecordTrial, CounterOverflowInATimerIsReportedAndTheProgramGoesOn) {
    ScenarioHarness h;
    session::crt& w = h.window();
    w.Form_Load();
    // Food by hand before any session: each raising counts one head entry, until the count is full.
    for (int i = 0; i < 40000 && w.engine().state().HopCheck < 32767; ++i) {
        h.press('U');
        h.ioCard.setInput(780, 1);
        h.run(0.1);
        h.ioCard.setInput(780, 0);
    }
    ASSERT_EQ(w.engine().state().HopCheck.toInt(), 32767);
    EXPECT_TRUE(h.dialogs.messages().empty());
    h.press('U');
    h.ioCard.setInput(780, 1);
    h.run(0.2);
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].text.find("Overflow"), std::string::npos)
        << h.dialogs.messages()[0].text;
    EXPECT_EQ(w.engine().state().HopCheck.toInt(), 32767);
    h.run(3.0);
    EXPECT_EQ(h.dialogs.messages().size(), 1u) << "reported once: the sensor is no longer polled";
    EXPECT_EQ(w.screen.Label1.caption(), "Hopper Down") << "the food period still ends";
    EXPECT_FALSE(h.lifetime.ended());
}

} // namespace
} // namespace veltrum::testing
