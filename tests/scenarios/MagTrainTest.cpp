// Magazine training: the hopper rises at every trial and the empty stimulus period runs beside it.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

namespace veltrum::testing {
namespace {

using Write = RecordingIoCard::Write;

std::vector<Write> writesAt(const RecordingIoCard& card, std::int64_t ms) {
    std::vector<Write> found;
    for (const Write& write : card.writes())
        if (write.atMs == ms)
            found.push_back(write);
    return found;
}

TEST(MagTrain, WithoutHeadEntriesEveryTrialTimesOutAndTheCountEndsTheSession) {
    ScenarioHarness h; // MagTrain: 3 trials, food timed from the first head entry, 5 s stimulus, 4 s ITI
    session::crt& w = h.start(1);
    h.runToEnd();

    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const Row& row = rows[static_cast<std::size_t>(i)];
        EXPECT_EQ(ScenarioHarness::number(row, "Trial"), i + 1);
        EXPECT_EQ(ScenarioHarness::text(row, "Outcome"), "Trial Timeout");
        EXPECT_EQ(ScenarioHarness::number(row, "Ordinal"), 0);
        EXPECT_EQ(ScenarioHarness::number(row, "Response"), 0);
        EXPECT_EQ(ScenarioHarness::text(row, "TrialTime"), "5.00");
        EXPECT_EQ(ScenarioHarness::text(row, "SessionTime"), std::to_string(9 * (i + 1)) + ".00");
        EXPECT_EQ(ScenarioHarness::number(row, "Phase"), 1);
        EXPECT_EQ(ScenarioHarness::text(row, "Subject"), "S1");
        EXPECT_EQ(row.at("Date").kind, workbook::CellKind::Date);
        EXPECT_EQ(ScenarioHarness::text(row, "Date"), "2026-01-05");
    }
    // Inter-trial output, off and hopper up at each trial, down and inter-trial output at each timeout.
    const std::vector<Write> expected = {
        {0, 1, 792, 0, 64},     {4000, 1, 792, 0, 0},  {4000, 1, 792, 0, 2},  {9000, 1, 792, 0, 0},
        {9000, 1, 792, 0, 64},  {13000, 1, 792, 0, 0}, {13000, 1, 792, 0, 2}, {18000, 1, 792, 0, 0},
        {18000, 1, 792, 0, 64}, {22000, 1, 792, 0, 0}, {22000, 1, 792, 0, 2}, {27000, 1, 792, 0, 0},
        {27000, 1, 792, 0, 64},
    };
    EXPECT_EQ(h.ioCard.writes(), expected);
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_FALSE(w.Form.isVisible());
    EXPECT_EQ(w.engine().state().CurrentTrial, 3);
    EXPECT_EQ(w.engine().state().Timeouts, 3);
    EXPECT_EQ(w.engine().state().HopCheck, 0);
    EXPECT_EQ(h.scheduler.pendingCount(), 0u) << "no timer may run after the session's end";
}

TEST(MagTrain, FoodEndingFirstStartsTheIntervalWhileTheStimulusClockRunsOn) {
    ScenarioHarness h;
    h.ioCard.setInput(780, 1); // a head in the opening as soon as the hopper rises
    session::crt& w = h.start(1);
    h.run(7.05);
    EXPECT_EQ(w.engine().state().HopCheck, 1);
    EXPECT_EQ(w.screen.Label1.caption(), "Hopper Up");
    h.run(0.1); // 3 s of food from the entry seen at 4.1 s
    const std::vector<Write> foodEnd = {{7100, 1, 792, 0, 0}, {7100, 1, 792, 0, 64}, {7100, 1, 792, 0, 64}};
    EXPECT_EQ(writesAt(h.ioCard, 7100), foodEnd);
    EXPECT_EQ(w.screen.Label1.caption(), "Hopper Down");
    EXPECT_TRUE(h.rows().empty()) << "the food period ends the first trial without a row";

    // The stimulus clock was not stopped: its fifth tick after the reset falls into the second trial.
    h.run(12.0 - 7.15);
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(ScenarioHarness::number(rows[0], "Trial"), 2);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "Outcome"), "Trial Timeout");
}

TEST(MagTrain, HeadEntryAfterTheTimeoutStillEndsItsFoodPeriod) {
    ScenarioHarness h;
    session::crt& w = h.start(1);
    h.run(9.45); // the first trial timed out at 9 s; the hopper is down but still watched
    EXPECT_EQ(h.rows().size(), 1u);
    h.ioCard.setInput(780, 1);
    h.run(0.1);
    EXPECT_EQ(w.engine().state().HopCheck, 1);
    h.ioCard.setInput(780, 0);
    h.run(3.0);
    const std::vector<Write> foodEnd = {
        {12500, 1, 792, 0, 0}, {12500, 1, 792, 0, 64}, {12500, 1, 792, 0, 64}};
    EXPECT_EQ(writesAt(h.ioCard, 12500), foodEnd);
    h.run(0.5);
    EXPECT_EQ(w.engine().state().CurrentTrial, 2) << "the interval begun at the timeout is not restarted";
    EXPECT_EQ(writesAt(h.ioCard, 13000).back().value, 2);
}

} // namespace
} // namespace veltrum::testing
