// The session's data rows: a row that cannot be written is kept and written later, in order, and a
// failure inside a handler is shown to the operator instead of ending the session.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

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
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].text.find("1 row waits"), std::string::npos)
        << h.dialogs.messages()[0].text;
    EXPECT_EQ(w.pendingRowCount(), 1u);
    EXPECT_TRUE(h.rows().empty());
    EXPECT_TRUE(w.Form.isVisible()) << "the session goes on";

    std::filesystem::remove(lockFile(h));
    h.run(9.0);
    EXPECT_EQ(w.pendingRowCount(), 0u);
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(ScenarioHarness::number(rows[0], "Trial"), 1);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "SessionTime"), "9.00") << "the row keeps the time of its event";
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Trial"), 2);
    EXPECT_EQ(h.dialogs.messages().size(), 1u);
}

TEST(RecordTrial, RowsWaitingAtTheEndAreTriedOnceMoreAndCountedForTheOperator) {
    ScenarioHarness h;
    session::crt& w = h.start(1);
    std::ofstream(lockFile(h)) << "lock";
    h.runToEnd();
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.pendingRowCount(), 3u);
    h.run(1);
    // One message per failing trial; the retry at the session's end adds no second box for the last one.
    ASSERT_EQ(h.dialogs.messages().size(), 3u);
    EXPECT_NE(h.dialogs.messages()[1].text.find("2 rows wait"), std::string::npos);
    EXPECT_NE(h.dialogs.messages()[2].text.find("3 rows wait"), std::string::npos);
    EXPECT_TRUE(h.rows().empty());
}

TEST(RecordTrial, CounterOverflowInATimerIsReportedAndTheProgramGoesOn) {
    ScenarioHarness h;
    session::crt& w = h.window();
    w.Form_Load();
    // Food by hand before any session: each raising counts one head entry, until the count is full.
    for (int i = 0; i < 40000 && w.HopCheck() < 32767; ++i) {
        h.press('U');
        h.ioCard.setInput(780, 1);
        h.run(0.1);
        h.ioCard.setInput(780, 0);
    }
    ASSERT_EQ(w.HopCheck().toInt(), 32767);
    EXPECT_TRUE(h.dialogs.messages().empty());
    h.press('U');
    h.ioCard.setInput(780, 1);
    h.run(0.2);
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].text.find("Overflow"), std::string::npos)
        << h.dialogs.messages()[0].text;
    EXPECT_EQ(w.HopCheck().toInt(), 32767);
    h.run(3.0);
    EXPECT_EQ(h.dialogs.messages().size(), 1u) << "reported once: the sensor is no longer polled";
    EXPECT_EQ(w.Label1.caption(), "Hopper Down") << "the food period still ends";
    EXPECT_FALSE(h.lifetime.ended());
}

} // namespace
} // namespace veltrum::testing
