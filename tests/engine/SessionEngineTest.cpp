// The trial cycle on the engine alone: no window, no card, no file; the chamber, display, schedule,
// records and panel are the test's own, and the session runs in virtual time.
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
                      public Schedule,
                      public TrialRecords,
                      public Panel {
public:
    std::vector<std::string> calls;
    std::vector<std::string> rows;
    const SessionState* state = nullptr;

    void raiseHopper() override { calls.push_back("hopper up"); }
    void lowerHopper() override { calls.push_back("hopper down"); }
    void interTrialOutputOn() override {}
    void outputsOff() override {}
    bool headInOpening() override { return false; }
    void showPicture(int slot, const std::string& path) override {
        calls.push_back(path + " in " + std::to_string(slot));
    }
    void hidePicture(int) override {}
    void setPositionTexts(const std::array<std::string, 6>&) override {}
    void sendDisplayMessage() override {}
    bool closeLink() override { return false; }
    std::optional<ScheduleRow> scheduleRow(int n) const override {
        if (n > 3)
            return std::nullopt;
        return ScheduleRow{1, Int16(n + 1)}; // goals at positions 2, 3, 4
    }
    void recordTrial(Int16 ScreenIndex, Int16 TabletPosition) override {
        rows.push_back("trial " + state->CurrentTrial.toString() + " " + state->Outcome + " at " +
                       (ScreenIndex > 0 ? ScreenIndex : TabletPosition).toString());
    }
    std::size_t rowsWaiting() const override { return 0; }
    void retryRows() override {}
    void showHopperWords(std::string_view) override {}
    void showOutcomeWords(std::string_view) override {}
    void hideWindow() override { calls.push_back("window hidden"); }
    void openSummary() override { calls.push_back("summary"); }
    void reportFailure(const std::string& what) override { calls.push_back("failure: " + what); }
};

TEST(SessionEngine, AnAutoshapingSessionRunsOnTheEngineAloneInVirtualTime) {
    platform::VirtualScheduler scheduler;
    Clock clock(scheduler);
    Chamber chamber;
    SessionEngine engine(scheduler, clock, {chamber, chamber, chamber, chamber, chamber});
    chamber.state = &engine.state();
    SessionState& state = engine.state();
    state.PhaseDescription = "Auto";
    state.StimPicture[7] = "key.bmp";
    state.TotalTrials = 3;
    state.SessionDuration = 30;
    state.StimulusTotalCount = 5;
    state.ResponseITI = 2;
    state.NoResponseITI = 3;
    state.Instrumental = 1;
    engine.FI.setInterval(500);
    std::vector<SessionEventKind> told;
    engine.events().subscribe([&told](const SessionEvent& event) {
        if (event.kind != SessionEventKind::TrialBegun)
            told.push_back(event.kind);
    });
    engine.setUp();
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
    EXPECT_EQ(state.TargetSPlus, 1);
    EXPECT_EQ(state.Timeouts, 2);
}

} // namespace
} // namespace veltrum::engine
