#include "ChamberHarness.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using namespace veltrum::testing;
using veltrum::session::SessionState;

// Which position the subject touches, relative to the current trial.
enum class Target { Goal, FalseGoal, EmptyPosition };

struct Counters {
    int targetPecks = 0, nonTargetPecks = 0, targetSPlus = 0, targetSMinus = 0, preTargetSPlus = 0,
        preTargetSMinus = 0;
    bool operator==(const Counters&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Counters& c) {
    return out << "{TargetPecks " << c.targetPecks << ", NonTargetPecks " << c.nonTargetPecks
               << ", TargetSPlus " << c.targetSPlus << ", TargetSMinus " << c.targetSMinus
               << ", PreTargetSPlus " << c.preTargetSPlus << ", PreTargetSMinus " << c.preTargetSMinus << "}";
}

Counters countersOf(const SessionState& s) {
    return {s.TargetPecks.toInt(),  s.NonTargetPecks.toInt(), s.TargetSPlus.toInt(),
            s.TargetSMinus.toInt(), s.PreTargetSPlus.toInt(), s.PreTargetSMinus.toInt()};
}

struct ScoringCase {
    const char* name;
    Phase phase;
    bool reinforcedTrial;
    bool afterFixedInterval;
    Target target;
    const char* outcome;
    const char* label;
    Counters added;
    int trialPeck;
    bool rewarded;
};

std::ostream& operator<<(std::ostream& out, const ScoringCase& c) {
    return out << c.name;
}

class ScoringTableTest : public ::testing::TestWithParam<ScoringCase> {
protected:
    // Runs trials (each ends by its timeout) until one of the wanted kind is on show.
    void runToTrial(bool reinforced) {
        for (int trial = 0; trial < 12; ++trial) {
            chamber.runToStimulus();
            if ((chamber.state().Reinforce == 1) == reinforced)
                return;
            chamber.runToStimulusEnd();
        }
        FAIL() << "no trial of the wanted kind";
    }
    int position(Target target) {
        const SessionState& s = chamber.state();
        switch (target) {
        case Target::Goal:
            return s.GoalLocation.toInt();
        case Target::FalseGoal:
            return s.FalseGoal.toInt();
        case Target::EmptyPosition:
            break;
        }
        // A position showing nothing: neither the goal nor, in SimDisc, the other picture.
        for (int p = 6; p >= 1; --p)
            if (p != s.GoalLocation.toInt() && p != s.FalseGoal.toInt() &&
                !chamber.window().screen.Image1(p).isVisible())
                return p;
        return 0;
    }

    ChamberHarness chamber;
};

TEST_P(ScoringTableTest, TouchIsClassifiedCountedShownAndRecorded) {
    const ScoringCase& c = GetParam();
    chamber.startSession(c.phase);
    chamber.connectTablet();
    runToTrial(c.reinforcedTrial);
    if (c.afterFixedInterval)
        chamber.runPastFixedInterval();
    const Counters before = countersOf(chamber.state());
    const int touched = position(c.target);
    const auto writesBefore = chamber.ioCard.writes().size();

    chamber.socket.tabletSends(std::to_string(touched) + "\n");

    const SessionState& s = chamber.state();
    const Counters after = countersOf(s);
    EXPECT_EQ((Counters{after.targetPecks - before.targetPecks, after.nonTargetPecks - before.nonTargetPecks,
                        after.targetSPlus - before.targetSPlus, after.targetSMinus - before.targetSMinus,
                        after.preTargetSPlus - before.preTargetSPlus,
                        after.preTargetSMinus - before.preTargetSMinus}),
              c.added);
    EXPECT_EQ(s.Outcome, c.outcome);
    EXPECT_EQ(chamber.window().screen.Label3.caption(), c.label);
    EXPECT_EQ(s.TrialPeck, c.trialPeck);
    EXPECT_EQ(s.ObjectTouched, touched);
    EXPECT_EQ(chamber.window().link.Label2.caption(), std::to_string(touched));
    EXPECT_EQ(chamber.window().screen.Label1.caption(), "Reinforce");
    // Only a reward ends the stimulus period and writes to the hopper's port.
    EXPECT_EQ(chamber.window().engine().timers().Stimulus.isEnabled(), !c.rewarded);
    EXPECT_EQ(chamber.ioCard.writes().size() > writesBefore, c.rewarded);
    const std::vector<TouchRow> rows = chamber.rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back(), (TouchRow{1, s.GoalLocation.toInt(), touched, c.outcome}));
}

constexpr bool reinforced = true, withoutFood = false, afterInterval = true, beforeInterval = false;
constexpr bool gives = true, none = false;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Outcomes, ScoringTableTest,
    ::testing::Values(
        ScoringCase{"Reward", Auto, reinforced, afterInterval, Target::Goal, "Reward", "Goal", {1, 0, 1, 0, 0, 0}, 1, gives},
        ScoringCase{"PreFIGoal", Auto, reinforced, beforeInterval, Target::Goal, "PreFIGoal", "PreFIGoal", {1, 0, 0, 0, 1, 0}, 1, none},
        ScoringCase{"NotGoal", Auto, reinforced, afterInterval, Target::EmptyPosition, "NotGoal", "Not Goal", {0, 1, 0, 1, 0, 0}, 0, none},
        ScoringCase{"PreFINotGoal", Auto, reinforced, beforeInterval, Target::EmptyPosition, "PreFINotGoal", "PreFINotGoal", {0, 1, 0, 0, 0, 1}, 0, none},
        ScoringCase{"SMinus", SuccDisc, withoutFood, afterInterval, Target::Goal, "S-", "S-", {1, 0, 0, 1, 0, 0}, 1, none},
        ScoringCase{"PreFISMinusIsNoPeck", SuccDisc, withoutFood, beforeInterval, Target::Goal, "PreFIS-", "PreFIS-", {1, 0, 0, 0, 0, 1}, 0, none},
        ScoringCase{"SuccDiscEmptyPositionIsAPeck", SuccDisc, reinforced, afterInterval, Target::EmptyPosition, "NotGoal", "Not Goal", {0, 1, 0, 1, 0, 0}, 0, none},
        ScoringCase{"SimDiscRewardOnGoal", SimDisc, reinforced, afterInterval, Target::Goal, "Reward", "Goal", {1, 0, 1, 0, 0, 0}, 1, gives},
        ScoringCase{"SimDiscOtherPictureIsNotGoal", SimDisc, reinforced, afterInterval, Target::FalseGoal, "NotGoal", "Not Goal", {0, 1, 0, 1, 0, 0}, 0, none},
        ScoringCase{"SimDiscOtherPictureBeforeInterval", SimDisc, reinforced, beforeInterval, Target::FalseGoal, "PreFINotGoal", "PreFINotGoal", {0, 1, 0, 0, 0, 1}, 0, none},
        ScoringCase{"SimDiscEmptyPositionIsOutside", SimDisc, reinforced, afterInterval, Target::EmptyPosition, "OutsideTouch", "Outside Touch", {}, 0, none},
        ScoringCase{"SimDiscEmptyPositionBeforeInterval", SimDisc, reinforced, beforeInterval, Target::EmptyPosition, "OutsideTouch", "Outside Touch", {}, 0, none}),
    [](const ::testing::TestParamInfo<ScoringCase>& info) { return std::string(info.param.name); });
// clang-format on

class ScoringTest : public ::testing::Test {
protected:
    ChamberHarness chamber;
};

TEST_F(ScoringTest, TouchBeforeTheFirstTrialOnlyCountsItsOrdinal) {
    chamber.startSession(Auto);
    chamber.connectTablet();
    chamber.socket.tabletSends("2\n");
    EXPECT_EQ(chamber.state().Ordinal, 1);
    EXPECT_EQ(chamber.state().Outcome, "");
    EXPECT_EQ(countersOf(chamber.state()), Counters{});
    EXPECT_TRUE(chamber.rows().empty());
}

TEST_F(ScoringTest, TabletTouchBetweenTrialsIsRecordedAsITI) {
    chamber.startSession(Auto);
    chamber.connectTablet();
    chamber.runToStimulus();
    chamber.runToStimulusEnd();
    const Counters before = countersOf(chamber.state());
    chamber.socket.tabletSends("2\n");
    EXPECT_EQ(chamber.state().Outcome, "ITI");
    EXPECT_EQ(chamber.window().screen.Label3.caption(), "ITI");
    EXPECT_EQ(countersOf(chamber.state()), before);
    EXPECT_EQ(chamber.rows().back().outcome, "ITI");
}

TEST_F(ScoringTest, WithoutInstrumentalScoringTheRowRepeatsThePreviousOutcome) {
    chamber.startSession(MagTrain);
    chamber.connectTablet();
    chamber.runToStimulus();
    chamber.socket.tabletSends("3\n");
    EXPECT_EQ(chamber.window().screen.Label3.caption(), "Stim Touched");
    chamber.runToStimulusEnd();
    chamber.runToStimulus();
    chamber.socket.tabletSends("3\n");
    const std::vector<TouchRow> rows = chamber.rows();
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows.front().outcome, "");
    // The timeout between the two touches set the word the second touch repeats.
    EXPECT_EQ(rows[rows.size() - 2].outcome, "Trial Timeout");
    EXPECT_EQ(rows.back().outcome, "Trial Timeout");
    EXPECT_EQ(countersOf(chamber.state()), Counters{});
}

TEST_F(ScoringTest, ScreenTouchesScoreThePictureIndexAndHiddenPicturesTakeNone) {
    chamber.startSession(Auto);
    chamber.runToStimulus();
    const int goal = chamber.state().GoalLocation.toInt();
    const int hidden = goal == 6 ? 5 : 6;
    chamber.window().screen.Image1(hidden).mouseDown();
    EXPECT_EQ(chamber.state().Ordinal, 0);
    chamber.window().screen.Image1(goal).mouseDown();
    chamber.window().screen.Image1(goal).mouseDown();
    const std::vector<TouchRow> rows = chamber.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (TouchRow{1, goal, goal, "PreFIGoal"}));
    EXPECT_EQ(rows[1], (TouchRow{2, goal, goal, "PreFIGoal"}));
}

// After a peck on a trial without food, SuccDisc waits the longer no-response interval.
TEST_F(ScoringTest, SuccDiscPeckOnANonReinforcedTrialGetsTheNoResponseInterval) {
    chamber.startSession(SuccDisc);
    chamber.connectTablet();
    bool pecked = false;
    bool quiet = false;
    for (int trial = 0; trial < 12 && !(pecked && quiet); ++trial) {
        chamber.runToStimulus();
        const bool reinforced = chamber.state().Reinforce == 1;
        if (!reinforced && !pecked) {
            chamber.runPastFixedInterval();
            chamber.socket.tabletSends(chamber.state().GoalLocation.toString() + "\n");
            ASSERT_EQ(chamber.state().Outcome, "S-");
            chamber.runToStimulusEnd();
            EXPECT_EQ(chamber.state().ITITotalCount, 6);
            pecked = true;
        } else {
            chamber.runToStimulusEnd();
            if (!reinforced) {
                EXPECT_EQ(chamber.state().ITITotalCount, 4);
                quiet = true;
            }
        }
    }
    EXPECT_TRUE(pecked && quiet);
}

} // namespace
