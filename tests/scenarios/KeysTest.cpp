// The operator's keys: starting, leaving and shaping a session.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

#include <ostream>

namespace veltrum::testing {
namespace {

bool wrote(const RecordingIoCard& card, std::int64_t atMs, int value) {
    for (const RecordingIoCard::Write& write : card.writes())
        if (write.atMs == atMs && write.value == value)
            return true;
    return false;
}

struct ShapingKey {
    const char* name;
    char key;
    std::function<void(ScenarioHarness&)> expect; // runs right after the key, pressed at 5.5 s of trial 1
};

void PrintTo(const ShapingKey& c, std::ostream* out) {
    *out << c.name;
}

class Shaping : public ::testing::TestWithParam<ShapingKey> {};

TEST_P(Shaping, KeyActsOnTheRunningTrialAndMarksTheSession) {
    ScenarioHarness h("params_alt"); // Auto: 5 s stimulus from 4 s, fixed interval over at 5 s
    session::crt& w = h.start(2);
    h.run(5.5);
    EXPECT_TRUE(w.engine().state().KeyShaping.empty());
    h.press(GetParam().key);
    EXPECT_EQ(w.engine().state().KeyShaping, "SHAPING KEYS USED. ");
    GetParam().expect(h);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Shaping,
    ::testing::Values(ShapingKey{"F_FreezesTheTrial", 'F',
                                 [](ScenarioHarness& h) {
                                     h.run(60);
                                     EXPECT_EQ(h.window().engine().state().CurrentTrial, 1);
                                     EXPECT_TRUE(h.rows().empty());
                                     EXPECT_EQ(h.shownSlots(), std::vector<int>{2});
                                     EXPECT_EQ(h.window().engine().state().HeadDetect, 2);
                                 }},
                      ShapingKey{"R_EndsTheTrialWithoutFood", 'r',
                                 [](ScenarioHarness& h) {
                                     EXPECT_TRUE(h.shownSlots().empty());
                                     EXPECT_EQ(h.display(), "0,0,0,0,0,0");
                                     EXPECT_FALSE(wrote(h.ioCard, 5500, 2));
                                     h.run(6.05); // the interval without pecks
                                     EXPECT_EQ(h.window().engine().state().CurrentTrial, 2);
                                     EXPECT_TRUE(h.rows().empty());
                                     EXPECT_EQ(h.window().engine().state().HeadDetect, 1);
                                 }},
                      ShapingKey{"U_FeedsByHand", 'U',
                                 [](ScenarioHarness& h) {
                                     EXPECT_TRUE(h.shownSlots().empty());
                                     EXPECT_TRUE(wrote(h.ioCard, 5500, 2));
                                     EXPECT_EQ(h.window().screen.Label1.caption(), "Hopper Up");
                                     EXPECT_EQ(h.window().engine().state().HeadDetect, 2);
                                 }},
                      ShapingKey{"D_ShowsThePicturesAndLowersTheHopper", 'd',
                                 [](ScenarioHarness& h) {
                                     EXPECT_EQ(h.shownSlots(), std::vector<int>{2});
                                     EXPECT_TRUE(wrote(h.ioCard, 5500, 0));
                                     EXPECT_EQ(h.window().screen.Label1.caption(), "Hopper Down");
                                 }},
                      ShapingKey{"H_FeedsAndWaitsForAHeadEntry", 'H',
                                 [](ScenarioHarness& h) {
                                     EXPECT_TRUE(h.shownSlots().empty());
                                     EXPECT_TRUE(wrote(h.ioCard, 5500, 2));
                                     EXPECT_EQ(h.window().engine().state().HeadDetect, 1);
                                     h.run(30);
                                     EXPECT_EQ(h.window().engine().state().CurrentTrial, 1)
                                         << "the food period waits for the head";
                                 }},
                      ShapingKey{"L_LengthensTheStimulusTick", 'L',
                                 [](ScenarioHarness& h) {
                                     EXPECT_EQ(h.window().engine().timers().Stimulus.interval(), 2000);
                                     h.run(7.9); // five ticks now take until 13.5 s instead of 9 s
                                     EXPECT_TRUE(h.rows().empty());
                                     h.run(0.2);
                                     EXPECT_EQ(h.rows().size(), 1u);
                                 }},
                      ShapingKey{"I_InstrumentalOnly", 'i',
                                 [](ScenarioHarness& h) {
                                     EXPECT_EQ(h.window().engine().state().Instrumental, 1);
                                     EXPECT_EQ(h.window().engine().state().Pavlovian, 0);
                                 }},
                      ShapingKey{"P_PavlovianOnly", 'P',
                                 [](ScenarioHarness& h) {
                                     EXPECT_EQ(h.window().engine().state().Instrumental, 0);
                                     EXPECT_EQ(h.window().engine().state().Pavlovian, 1);
                                     h.window().screen.Image1(2).mouseDown();
                                     EXPECT_EQ(h.window().screen.Label3.caption(), "Stim Touched");
                                     h.run(3.6); // the stimulus end now feeds
                                     EXPECT_TRUE(wrote(h.ioCard, 9000, 2));
                                 }},
                      ShapingKey{"B_Both", 'b',
                                 [](ScenarioHarness& h) {
                                     EXPECT_EQ(h.window().engine().state().Instrumental, 1);
                                     EXPECT_EQ(h.window().engine().state().Pavlovian, 1);
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartKey, ActsOnlyOnASessionSetUpAndOnlyBeforeTheFirstTrial) {
    ScenarioHarness h;
    session::crt& w = h.window();
    w.Form_Load();
    h.press('S');
    h.run(30);
    EXPECT_EQ(w.engine().state().CurrentTrial, 0) << "S before Start starts nothing";
    EXPECT_TRUE(h.ioCard.writes().empty());
    EXPECT_EQ(h.scheduler.pendingCount(), 0u);

    w.panel.Command1.click();
    EXPECT_TRUE(w.screen.Label7.isVisible());
    h.press('s');
    EXPECT_FALSE(w.screen.Label7.isVisible());
    h.run(4.5);
    EXPECT_EQ(w.engine().state().CurrentTrial, 1);
    h.press('S');
    h.run(0.1);
    EXPECT_EQ(w.engine().state().CurrentTrial, 1) << "a second S after the first trial began does nothing";
    h.runToEnd();
    EXPECT_EQ(h.rows().size(), 3u);
    EXPECT_EQ(ScenarioHarness::text(h.rows()[0], "SessionTime"), "9.00")
        << "the session clock starts at the S that started it";
}

TEST(ExitKey, BeforeStartEndsTheProgramWithoutAQuestion) {
    ScenarioHarness h;
    h.window().Form_Load();
    h.press('e');
    EXPECT_TRUE(h.lifetime.ended());
    EXPECT_TRUE(h.dialogs.messages().empty());
}

TEST(ExitKey, AfterStartAsksAndYesEndsTheProgramWithoutASummary) {
    ScenarioHarness h;
    h.setUp(1);
    h.dialogs.queueAnswer(platform::MessageAnswer::Yes);
    h.press('E');
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_EQ(h.dialogs.messages()[0].text, "Are you sure you want to leave the program?");
    EXPECT_EQ(h.dialogs.messages()[0].title, "Autoshaping");
    EXPECT_EQ(h.dialogs.messages()[0].buttons, platform::MessageButtons::YesNoCancel);
    EXPECT_TRUE(h.lifetime.ended());
    EXPECT_EQ(h.summaryOpenings, 0);
}

class LeavingARunningSession : public ::testing::TestWithParam<platform::MessageAnswer> {};

TEST_P(LeavingARunningSession, NoOrCancelLeaveItRunning) {
    ScenarioHarness h;
    session::crt& w = h.start(1);
    h.run(5);
    h.dialogs.queueAnswer(GetParam());
    h.press('E');
    EXPECT_TRUE(w.Form.isVisible());
    h.runToEnd();
    EXPECT_EQ(h.rows().size(), 3u);
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_FALSE(h.lifetime.ended());
}

INSTANTIATE_TEST_SUITE_P(Answers, LeavingARunningSession,
                         ::testing::Values(platform::MessageAnswer::No, platform::MessageAnswer::Cancel));

TEST(ExitKey, YesDuringASessionStopsItAndOpensTheSummary) {
    ScenarioHarness h;
    session::crt& w = h.setUp(1);
    h.tabletConnected();
    h.press('S');
    h.run(5);
    h.dialogs.queueAnswer(platform::MessageAnswer::Yes);
    h.press('E');
    EXPECT_EQ(h.summaryOpenings, 1);
    EXPECT_FALSE(w.Form.isVisible());
    EXPECT_EQ(h.scheduler.pendingCount(), 0u) << "all six timers stop";
    EXPECT_EQ(h.ioCard.writes().back().value, 0) << "leaving a session leaves the outputs off";
    EXPECT_EQ(h.socket.sent().back(), "0,0,0,0,0,0");
    EXPECT_EQ(h.socket.state(), platform::TabletSocket::Connected);
    EXPECT_TRUE(h.rows().empty()) << "the interrupted trial gets no row";
    EXPECT_FALSE(h.lifetime.ended());
}

TEST(ExitKey, SessionThatEndsWhileTheQuestionWaitsIsNotEndedTwice) {
    for (platform::MessageAnswer answer : {platform::MessageAnswer::Yes, platform::MessageAnswer::No}) {
        ScenarioHarness h;
        session::crt& w = h.start(1);
        h.run(5);
        h.dialogs.whileAsking = [&h] { h.run(60); }; // the operator takes a minute to answer
        h.dialogs.queueAnswer(answer);
        h.press('E');
        EXPECT_EQ(h.summaryOpenings, 1);
        EXPECT_FALSE(w.Form.isVisible()) << "the ended session's window stays hidden";
        EXPECT_FALSE(h.lifetime.ended());
        EXPECT_EQ(h.rows().size(), 3u);
    }
}

} // namespace
} // namespace veltrum::testing
