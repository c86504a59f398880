// Successive and simultaneous discrimination: the schedule's balance as the subject sees it, the side of
// the reinforced picture, and the interval chosen after a peck on a trial without food.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace veltrum::testing {
namespace {

struct TrialSeen {
    int trialType;
    int goal;
    std::string display;
    std::int64_t beganMs;
};

// Runs the session to its end in 100 ms steps, noting the display shortly after each trial begins.
std::vector<TrialSeen> watchTrials(ScenarioHarness& h, const std::function<void(int trial)>& during = {}) {
    std::vector<TrialSeen> seen;
    int last = 0;
    while (h.summaryOpenings == 0 && h.seconds() < 3600) {
        h.run(0.1);
        const session::SessionState& s = h.window().engine().state();
        if (s.CurrentTrial.toInt() != last) {
            last = s.CurrentTrial.toInt();
            seen.push_back({s.TrialType.toInt(), s.GoalLocation.toInt(), h.display(), h.scheduler.nowMs()});
            if (during)
                during(last);
        }
    }
    return seen;
}

TEST(SuccDisc, EachTypeShowsItsPictureAtPositionTwoAndOccursOncePerBlock) {
    ScenarioHarness h; // SuccDisc: 12 trials, two blocks of the six types
    h.start(3);
    const std::vector<TrialSeen> trials = watchTrials(h);
    ASSERT_EQ(trials.size(), 12u);
    const std::map<int, std::string> pictureOfType = {{1, "0,1,0,0,0,0"}, {2, "0,3,0,0,0,0"},
                                                      {3, "0,5,0,0,0,0"}, {4, "0,2,0,0,0,0"},
                                                      {5, "0,4,0,0,0,0"}, {6, "0,6,0,0,0,0"}};
    std::map<int, int> count;
    for (const TrialSeen& trial : trials) {
        ++count[trial.trialType];
        EXPECT_EQ(trial.display, pictureOfType.at(trial.trialType));
        EXPECT_EQ(trial.goal, 2);
    }
    EXPECT_EQ(count, (std::map<int, int>{{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}}));
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 12u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(ScenarioHarness::number(rows[i], "TrialType"), trials[i].trialType);
}

TEST(SuccDisc, PeckOnATrialWithoutFoodLengthensTheNextInterval) {
    ScenarioHarness h;
    session::crt& w = h.start(3);
    std::map<int, bool> reinforced;
    // Peck the picture 2 s into every trial: food on types 1 to 3, "S-" on types 4 to 6.
    const std::vector<TrialSeen> trials = watchTrials(h, [&](int trial) {
        reinforced[trial] = w.engine().state().Reinforce == 1;
        h.run(2.0);
        if (w.engine().state().CurrentTrial == trial && w.screen.Image1(2).isVisible())
            w.screen.Image1(2).mouseDown();
        h.ioCard.setInput(780, 1);
        h.run(0.2);
        h.ioCard.setInput(780, 0);
    });
    ASSERT_EQ(trials.size(), 12u);
    for (std::size_t i = 1; i < trials.size(); ++i) {
        const bool fed = reinforced[static_cast<int>(i)];
        // A fed trial ends 3 s after the head entry and waits 4 s; an unfed one times out at 5 s and waits 6
        // s.
        const std::int64_t expected = fed ? 2000 + 100 + 3000 + 4000 : 5000 + 6000;
        EXPECT_NEAR(static_cast<double>(trials[i].beganMs - trials[i - 1].beganMs),
                    static_cast<double>(expected), 200.0)
            << "after trial " << i << (fed ? " (fed)" : " (not fed)");
    }
    std::multiset<std::string> outcomes;
    for (const Row& row : h.rows())
        outcomes.insert(ScenarioHarness::text(row, "Outcome"));
    EXPECT_EQ(outcomes.count("Reward"), 6u);
    EXPECT_EQ(outcomes.count("S-"), 6u);
    EXPECT_EQ(outcomes.count("Trial Timeout"), 6u);
}

TEST(SimDisc, ReinforcedPictureAppearsOnEachSideOncePerPairAndBlock) {
    ScenarioHarness h("params_alt"); // SimDisc: 15 trials, but two blocks build only 12 rows
    session::crt& w = h.start(4);
    const std::vector<TrialSeen> trials = watchTrials(h);
    ASSERT_EQ(trials.size(), 12u) << "the rows without numbers end the session instead of running";
    std::map<std::pair<int, int>, int> pairAndSide;
    for (const TrialSeen& trial : trials) {
        ++pairAndSide[{trial.trialType, trial.goal}];
        const std::string odd = std::to_string(2 * trial.trialType - 1);
        const std::string even = std::to_string(2 * trial.trialType);
        EXPECT_EQ(trial.display,
                  trial.goal == 1 ? odd + ",0," + even + ",0,0,0" : even + ",0," + odd + ",0,0,0");
    }
    for (int pair = 1; pair <= 3; ++pair)
        for (int side : {1, 3})
            EXPECT_EQ((pairAndSide[{pair, side}]), 2) << "pair " << pair << " side " << side;
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_EQ(w.engine().state().CurrentTrial, 12);
    EXPECT_EQ(h.rows().size(), 12u);
    EXPECT_TRUE(h.dialogs.messages().empty());
}

TEST(SimDisc, TouchesOffTheGoalAreToldApartByTheOtherPicture) {
    ScenarioHarness h("params_alt");
    session::crt& w = h.start(4);
    h.run(5.5); // trial 1 began at 4 s; its fixed interval is over
    const int goal = w.engine().state().GoalLocation.toInt();
    const int falseGoal = w.engine().state().FalseGoal.toInt();
    EXPECT_EQ(falseGoal, goal == 1 ? 3 : 1);
    // Touches on the tablet: position 5 shows nothing on the screen.
    h.socket.tabletConnects(1);
    h.socket.tabletSends(std::to_string(falseGoal) + "\n5\n");
    const std::vector<Row> rows = h.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(ScenarioHarness::text(rows[0], "Outcome"), "NotGoal");
    EXPECT_EQ(ScenarioHarness::number(rows[0], "Response"), falseGoal);
    EXPECT_EQ(ScenarioHarness::text(rows[1], "Outcome"), "OutsideTouch");
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Response"), 5);
    EXPECT_EQ(ScenarioHarness::number(rows[1], "Goal"), goal);
}

} // namespace
} // namespace veltrum::testing
