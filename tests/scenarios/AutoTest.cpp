// Autoshaping: one picture at position 2; a peck after the fixed interval feeds, and in Pavlovian mode
// so does the end of the stimulus period.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

namespace veltrum::testing {
namespace {

std::vector<std::int64_t> timesOf(const RecordingIoCard& card, int value) {
    std::vector<std::int64_t> times;
    for (const RecordingIoCard::Write& write : card.writes())
        if (write.value == value)
            times.push_back(write.atMs);
    return times;
}

TEST(Auto, PavlovianStimulusEndFeedsAndTheFoodPeriodEndsTheTrial) {
    ScenarioHarness h; // Auto: 4 trials, Pavlovian, food timed from the rise, ITI 4 s or 6 s without pecks
    session::crt& w = h.setUp(2);
    h.tabletConnected();
    h.press('S');
    h.run(5.0);
    EXPECT_EQ(h.shownSlots(), std::vector<int>{2});
    EXPECT_EQ(w.screen.Image1(2).picturePath(), h.folder() + "/Images/7.bmp");
    EXPECT_EQ(h.display(), "0,7,0,0,0,0");
    ASSERT_FALSE(h.socket.sent().empty());
    EXPECT_EQ(h.socket.sent().back(), "0,7,0,0,0,0");

    h.run(4.5); // the stimulus period ran out at 9 s
    EXPECT_TRUE(h.shownSlots().empty());
    EXPECT_EQ(h.display(), "0,0,0,0,0,0");
    EXPECT_EQ(w.screen.Label3.caption(), "AutoReward");
    EXPECT_EQ(w.screen.Label1.caption(), "Hopper Up");
    EXPECT_EQ(timesOf(h.ioCard, 2), std::vector<std::int64_t>{9000});

    h.runToEnd();
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 4u);
    for (const Row& row : rows)
        EXPECT_EQ(ScenarioHarness::text(row, "Outcome"), "Trial Timeout");
    // Each food period of 3 s is followed by the interval for a session without pecks (6 s); the last
    // trial's timeout ends the session at once, without food.
    EXPECT_EQ(timesOf(h.ioCard, 2), (std::vector<std::int64_t>{9000, 23000, 37000}));
    EXPECT_EQ(h.ioCard.writes().back().atMs, 51000);
    EXPECT_EQ(h.ioCard.writes().back().value, 64);
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.engine().state().TrialsWPeck, 0);
    EXPECT_EQ(h.socket.closeCount(), 1);
}

TEST(Auto, WithoutPavlovianTimeoutsGoStraightToTheIntervalAndNeverFeed) {
    ScenarioHarness h("params_alt"); // Auto: not Pavlovian, food timed from the first head entry
    session::crt& w = h.start(2);
    h.runToEnd();
    EXPECT_EQ(h.rows().size(), 4u);
    EXPECT_TRUE(timesOf(h.ioCard, 2).empty());
    // Trials begin when the port goes off: 4 s first interval, then 5 s stimulus and 6 s interval each.
    EXPECT_EQ(timesOf(h.ioCard, 0), (std::vector<std::int64_t>{4000, 15000, 26000, 37000, 42000}));
    EXPECT_EQ(w.engine().state().Timeouts, 4);
}

TEST(Auto, PeckAfterTheFixedIntervalFeedsAndPecksBeforeItDoNot) {
    ScenarioHarness h("params_alt");
    session::crt& w = h.start(2);
    h.run(4.5); // trial 1 began at 4 s; its fixed interval of 1 s runs until 5 s
    w.screen.Image1(2).mouseDown();
    EXPECT_TRUE(timesOf(h.ioCard, 2).empty());
    EXPECT_EQ(h.shownSlots(), std::vector<int>{2})
        << "a peck before the fixed interval leaves the trial running";
    h.run(1.0);
    w.screen.Image1(2).mouseDown();
    EXPECT_EQ(timesOf(h.ioCard, 2), std::vector<std::int64_t>{5500});
    EXPECT_TRUE(h.shownSlots().empty());

    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "Outcome"), "PreFIGoal");
    EXPECT_EQ(ScenarioHarness::text(rows[1], "Outcome"), "Reward");
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Ordinal"), 2);
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Response"), 2);
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Goal"), 2);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "TrialTime"), "0.50");
    EXPECT_EQ(ScenarioHarness::text(rows[1], "TrialTime"), "1.50");

    // The hopper waits for a head entry; the food period runs 3 s from it, then a 4 s interval (a peck
    // was made).
    h.run(10.0);
    EXPECT_EQ(w.engine().state().CurrentTrial, 1);
    h.ioCard.setInput(780, 1);
    h.run(0.1);
    h.ioCard.setInput(780, 0);
    const std::int64_t entry = h.scheduler.nowMs();
    h.run(7.0 + 0.05);
    EXPECT_EQ(w.engine().state().CurrentTrial, 2);
    EXPECT_EQ(timesOf(h.ioCard, 0).back(), entry + 7000);
}

// The trial begins at a time of day with a fraction that would round up: the row still gives the touch's
// true latency, and the session's time, to the hundredth.
TEST(Auto, TouchTimesAreMeasuredFromTheTrueStartOfTrialAndSession) {
    ScenarioHarness h("params_alt");
    h.clock.setStart(36000.7);
    session::crt& w = h.start(2);
    h.run(4.25); // trial 1 began at 4 s after S
    w.screen.Image1(2).mouseDown();
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "TrialTime"), "0.25");
    EXPECT_EQ(ScenarioHarness::text(rows[0], "SessionTime"), "4.25");
}

} // namespace
} // namespace veltrum::testing
