// The session on the engine alone: no window, no card, no file; the chamber, display, link, schedule,
// records and window are the test's own, and the session runs in virtual time.
#include "engine/SessionEngine.h"
#include "platform/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum::engine {
namespace {

class Clock : public platform::Clock {
public:
    explicit Clock(const platform::VirtualScheduler& scheduler)
        : m_scheduler(scheduler) {}
    double secondsSinceMidnight() const override { return 36000.0 + m_scheduler.nowMs() / 1000.0; }
    platform::CalendarDate today() const override { return {2026, 12, 9}; }

private:
    const platform::VirtualScheduler& m_scheduler;
};

// Every call the engine makes, in order, as one line each.
class Chamber final : public engine::Chamber,
                      public Display,
                      public Link,
                      public Schedule,
                      public TrialRecords,
                      public MainWindow {
public:
    std::vector<std::string> calls;
    std::vector<std::string> rows;
    const SessionState* state = nullptr;

    void raiseHopper() override { calls.push_back("hopper up"); }
    void lowerHopper() override { calls.push_back("hopper down"); }
    void turnInterTrialOutputOn() override {}
    void turnOutputsOff() override {}
    bool headInOpening() override { return false; }
    void showPicture(int slot, const std::string& path) override {
        calls.push_back(path + " in " + std::to_string(slot));
    }
    void hidePicture(int) override {}
    void setPositionTexts(const std::array<std::string, 6>&) override {}
    void showHopperWords(std::string_view) override {}
    void showOutcomeWords(std::string_view) override {}
    void SendDisplayMessage() override {}
    bool closeLink() override { return false; }
    std::optional<ScheduleRow> scheduleRow(int n) const override {
        if (n > 3)
            return std::nullopt;
        return ScheduleRow{1, Int16(n + 1)}; // goals at positions 2, 3, 4
    }
    void RecordTrial(Int16 ScreenIndex, Int16 TabletPosition) override {
        rows.push_back("trial " + state->CurrentTrial.toString() + " " + state->Outcome + " at " +
                       (ScreenIndex > 0 ? ScreenIndex : TabletPosition).toString());
    }
    std::size_t rowsWaiting() const override { return 0; }
    void retryRows() override {}
    void hideWindow() override { calls.push_back("window hidden"); }
    void showSummaryWindow() override { calls.push_back("summary"); }
    void reportFailure(const std::string& what) override { calls.push_back("failure: " + what); }
};

// "Auto" for subject A1: three trials, 5 s stimulus periods, 2 s and 3 s intervals, a 500 ms fixed
// interval, instrumental.
SessionSetUp autoshaping() {
    SessionSetUp setUp;
    setUp.Subject = "A1";
    setUp.SessionNumber = 1;
    setUp.PhaseNumber = 2;
    PhaseParameters& p = setUp.parameters;
    p.TotalTrials = 3;
    p.SessionDuration = 30;
    p.StimulusTotalCount = 5;
    p.ResponseITI = 2;
    p.NoResponseITI = 3;
    p.Instrumental = 1;
    p.HopperDuration = 4;
    p.FIDuration = 500;
    return setUp;
}

class SessionEngineTest : public ::testing::Test {
protected:
    SessionEngineTest() {
        chamber.state = &engine.state();
        std::array<std::string, 9> pictures;
        pictures[7] = "key.bmp";
        engine.setStimulusPictures(pictures);
    }
    void setUp(const SessionSetUp& loaded = autoshaping()) {
        engine.load(loaded);
        engine.setUp(loaded.Subject, "Auto", "A1.1.xls");
    }

    platform::VirtualScheduler scheduler;
    Clock clock{scheduler};
    Chamber chamber;
    SessionEngine engine{scheduler, clock, {chamber, chamber, chamber, chamber, chamber, chamber}};
};

TEST_F(SessionEngineTest, AnAutoshapingSessionRunsOnTheEngineAloneInVirtualTime) {
    std::vector<SessionEventKind> told;
    engine.events().subscribe([&told](const SessionEvent& event) {
        if (event.kind != SessionEventKind::TrialBegun)
            told.push_back(event.kind);
    });
    setUp();
    engine.BeginSession();

    scheduler.advanceBy(7000); // trial 1: picture at 1 s, timeout at 6 s
    scheduler.advanceBy(3500); // trial 2 began at 9 s (no peck yet: the no-response interval)
    Int16 screen = 0, tablet = 3;
    engine.ScoreResponse(screen, tablet); // the goal, after the fixed interval: food
    scheduler.advanceBy(30000);

    EXPECT_EQ(chamber.rows, (std::vector<std::string>{"trial 1 Trial Timeout at 0", "trial 2 Reward at 3",
                                                      "trial 3 Trial Timeout at 0"}));
    EXPECT_EQ(chamber.calls,
              (std::vector<std::string>{"key.bmp in 2", "key.bmp in 3", "hopper up", "hopper down",
                                        "key.bmp in 4", "hopper down", "window hidden", "summary"}));
    EXPECT_TRUE(engine.hasEnded());
    // Told in the order it happened: the peck, then the pictures going and the food it raised.
    using K = SessionEventKind;
    EXPECT_EQ(told, (std::vector<K>{K::SessionStarted, K::StimulusOn, K::TrialTimeout, K::StimulusOff,
                                    K::StimulusOn, K::TouchScored, K::StimulusOff, K::HopperUp, K::HopperDown,
                                    K::StimulusOn, K::TrialTimeout, K::StimulusOff, K::SessionEnded}));
    EXPECT_EQ(engine.state().TargetSPlus, 1);
    EXPECT_EQ(engine.state().Timeouts, 2);
}

TEST_F(SessionEngineTest, ParametersSetTheTimersAndWithoutHardwareEveryIntervalIsTwoSeconds) {
    SessionSetUp loaded = autoshaping();
    loaded.HardwareFree = true;
    engine.load(loaded);
    EXPECT_EQ(engine.timers().Hopper_Timer.interval(), 4000);
    EXPECT_EQ(engine.timers().FI.interval(), 500);
    EXPECT_EQ(engine.state().ITITotalCount, 2) << "the first interval too";
    EXPECT_FALSE(engine.timers().Hopper_Timer.isEnabled());

    // A hopper time the hopper timer cannot hold changes nothing at all.
    loaded.Subject = "B2";
    loaded.parameters.HopperDuration = 33;
    EXPECT_THROW(engine.load(loaded), forms::OverflowError);
    EXPECT_EQ(engine.state().Subject, "A1");
    EXPECT_EQ(engine.timers().Hopper_Timer.interval(), 4000);

    // The intervals chosen at each stimulus end stay at 2 s: trial 2 begins 2 s after trial 1's timeout.
    setUp(autoshaping());
    engine.load([] {
        SessionSetUp free = autoshaping();
        free.HardwareFree = true;
        return free;
    }());
    engine.BeginSession();
    scheduler.advanceBy(2000 + 5000 + 2000);
    EXPECT_EQ(engine.state().CurrentTrial, 2);
    EXPECT_TRUE(std::find(chamber.calls.begin(), chamber.calls.end(), "hopper up") == chamber.calls.end())
        << "no port is touched without hardware";
}

TEST_F(SessionEngineTest, KeySBeginsOnlyASessionSetUpAndOnlyBeforeItsFirstTrial) {
    engine.load(autoshaping());
    EXPECT_FALSE(engine.mayBeginSession());
    engine.BeginSession();
    scheduler.advanceBy(10000);
    EXPECT_EQ(engine.startedAtMs(), -1);
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "nothing runs before Start";

    engine.setUp("A1", "Auto", "A1.1.xls");
    scheduler.advanceBy(500);
    engine.BeginSession();
    EXPECT_EQ(engine.startedAtMs(), 10500);
    EXPECT_EQ(engine.state().StartTime, 36010) << "36010.5 s since midnight, halves to even";
    scheduler.advanceBy(2500);
    EXPECT_EQ(engine.state().CurrentTrial, 1);
    EXPECT_FALSE(engine.mayBeginSession());
    engine.BeginSession();
    EXPECT_EQ(engine.startedAtMs(), 10500);
}

TEST_F(SessionEngineTest, ShapingKeysMarkTheSessionAndLengthenTheStimulusTickUpToAnHour) {
    setUp();
    EXPECT_FALSE(engine.applyShapingKey('x'));
    EXPECT_FALSE(engine.applyShapingKey('S')) << "S and E are the window's, not shaping keys";
    EXPECT_TRUE(engine.state().KeyShaping.empty());
    EXPECT_TRUE(engine.applyShapingKey('b'));
    EXPECT_EQ(engine.state().KeyShaping, "SHAPING KEYS USED. ");
    EXPECT_EQ(engine.state().Pavlovian, 1);
    for (int press = 0; press < 4000; ++press)
        engine.applyShapingKey('L');
    EXPECT_EQ(engine.timers().Stimulus.interval(), 3600 * 1000);
}

} // namespace
} // namespace veltrum::engine
