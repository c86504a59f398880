// How sessions end and what the clock and the hardware-free mode do to a whole session.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

namespace veltrum::testing {
namespace {

TEST(SessionEnd, LastFoodPeriodEndsTheSessionAndStopsEveryTimer) {
    ScenarioHarness h("params_alt"); // MagTrain: 3 trials, 3 s of food timed from the rise
    session::crt& w = h.start(1);
    h.runToEnd();
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.engine().state().CurrentTrial, 3);
    EXPECT_FALSE(w.Form.isVisible());
    EXPECT_EQ(h.scheduler.pendingCount(), 0u);
    EXPECT_EQ(h.ioCard.writes().back().value, 64) << "a session ends with the inter-trial output on";
    h.run(600);
    EXPECT_EQ(h.summaryOpenings, 1);
}

TEST(SessionEnd, SessionClockEndsAFrozenSessionAndALaterHeadEntryChangesNothing) {
    ScenarioHarness h; // MagTrain: 5 minutes; the hopper waits for a head entry
    session::crt& w = h.start(1);
    h.run(5.0);
    h.press('F'); // freezes the stimulus period of trial 1
    h.run(294.9);
    EXPECT_EQ(h.summaryOpenings, 0);
    h.run(0.2);
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.engine().state().SessionTime, 5);
    EXPECT_TRUE(h.rows().empty()) << "the session clock writes no row";
    EXPECT_TRUE(w.engine().timers().Infrared.isEnabled())
        << "the sensor is still watched after a session-clock end";

    h.ioCard.setInput(780, 1);
    h.run(10.0);
    EXPECT_EQ(w.engine().state().HopCheck, 1);
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.engine().state().CurrentTrial, 1);
    EXPECT_TRUE(h.rows().empty());
}

TEST(SessionEnd, HardwareFreeModeTouchesNoPortAndRunsTwoSecondIntervals) {
    ScenarioHarness h; // Auto, Pavlovian: every timeout feeds for 3 s, timed at once
    session::crt& w = h.setUp(2, true);
    EXPECT_EQ(w.panel.Check1.value(), 1);
    h.press('S');
    std::vector<std::int64_t> begins;
    int last = 0;
    while (h.summaryOpenings == 0 && h.seconds() < 600) {
        h.run(0.1);
        if (w.engine().state().CurrentTrial != last) {
            last = w.engine().state().CurrentTrial.toInt();
            begins.push_back(h.scheduler.nowMs());
        }
    }
    // 2 s interval, 5 s stimulus, 3 s of food, then the next 2 s interval.
    EXPECT_EQ(begins, (std::vector<std::int64_t>{2000, 12000, 22000, 32000}));
    EXPECT_TRUE(h.ioCard.writes().empty());
    EXPECT_TRUE(h.ioCard.reads().empty());
    EXPECT_EQ(h.rows().size(), 4u);
    EXPECT_EQ(w.engine().state().HopCheck, 0);
}

TEST(SessionEnd, TimesStayPositiveAcrossMidnight) {
    ScenarioHarness h;
    h.clock.setStart(86385.0); // 23:59:45; trial 2 begins at 23:59:58 and times out after midnight
    h.start(1);
    h.runToEnd();
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 3u);
    const char* sessionTimes[] = {"9.00", "18.00", "27.00"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(ScenarioHarness::text(rows[i], "SessionTime"), sessionTimes[i]);
        EXPECT_EQ(ScenarioHarness::text(rows[i], "TrialTime"), "5.00");
    }
}

} // namespace
} // namespace veltrum::testing
