// When the food period is timed: from the hopper's rise, from the first head entry, or (after a shaping
// key) with stimulus periods that have no time limit.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

#include <ostream>

namespace veltrum::testing {
namespace {

struct FoodTiming {
    const char* name;
    const char* params; // Auto: head-entry timing 0 in params_main, 1 in params_alt
    double headEntryAt; // seconds; the peck that feeds comes at 5.5 s
    std::int64_t hopperDownMs;
};

void PrintTo(const FoodTiming& c, std::ostream* out) {
    *out << c.name;
}

class HeadDetect : public ::testing::TestWithParam<FoodTiming> {};

TEST_P(HeadDetect, FoodPeriodRunsThreeSecondsFromItsStart) {
    const FoodTiming& c = GetParam();
    ScenarioHarness h(c.params);
    session::crt& w = h.start(2);
    h.run(5.5);
    w.screen.Image1(2).mouseDown();
    h.run(c.headEntryAt - 5.5);
    h.ioCard.setInput(780, 1);
    h.run(0.3);
    h.ioCard.setInput(780, 0);
    h.run(10.0);
    std::int64_t down = -1;
    for (const RecordingIoCard::Write& write : h.ioCard.writes())
        if (write.atMs > 5500 && write.value == 0 && down < 0)
            down = write.atMs;
    EXPECT_EQ(down, c.hopperDownMs);
    EXPECT_EQ(w.engine().state().HopCheck, 1) << "one head entry per raising, however long the head stays";
}

INSTANTIATE_TEST_SUITE_P(Modes, HeadDetect,
                         ::testing::Values(FoodTiming{"FromTheRise", "params_main", 7.05, 8500},
                                           FoodTiming{"FromTheFirstEntry", "params_alt", 6.95, 10000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeadDetectTwo, StimulusStaysWithoutTimeLimitAndTouchesCountAsInterval) {
    ScenarioHarness h("params_alt");
    session::crt& w = h.start(2);
    h.run(1.0);
    h.press('U'); // food by hand during the first interval; later stimuli have no time limit
    EXPECT_EQ(w.engine().state().HeadDetect, 2);
    h.ioCard.setInput(780, 1);
    h.run(0.2);
    h.ioCard.setInput(780, 0);
    h.run(60.0);
    EXPECT_EQ(w.engine().state().CurrentTrial, 1);
    EXPECT_EQ(h.shownSlots(), std::vector<int>{2});
    EXPECT_TRUE(h.rows().empty()) << "no timeout without a stimulus clock";
    w.screen.Image1(2).mouseDown();
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "Outcome"), "ITI");
}

} // namespace
} // namespace veltrum::testing
