#include "platform/Timer.h"
#include "platform/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <vector>

namespace veltrum::platform {
namespace {

class TimerTest : public ::testing::Test {
protected:
    VirtualScheduler scheduler;
    std::vector<std::int64_t> ticks;
    Timer timer{scheduler, "ITI", 1000};

    TimerTest() {
        timer.setOnTick([this] { ticks.push_back(scheduler.nowMs()); });
    }
};

TEST_F(TimerTest, TicksEveryIntervalWhileEnabled) {
    scheduler.advanceBy(500);
    timer.setEnabled(true);
    scheduler.advanceBy(3000);
    timer.setEnabled(false);
    scheduler.advanceBy(5000);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1500, 2500, 3500}));
}

TEST_F(TimerTest, ZeroIntervalNeverFires) {
    timer.setInterval(0);
    timer.setEnabled(true);
    scheduler.advanceBy(10000);
    EXPECT_TRUE(ticks.empty());
    EXPECT_TRUE(timer.isEnabled());
}

TEST_F(TimerTest, EnablingAgainKeepsThePeriodAndANewIntervalRestartsIt) {
    timer.setEnabled(true);
    scheduler.advanceBy(600);
    timer.setEnabled(true);
    scheduler.advanceBy(600);
    timer.setInterval(2000);
    scheduler.advanceBy(3000);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 3200}));
}

TEST_F(TimerTest, HandlerThatDisablesItsTimerStopsFurtherTicks) {
    timer.setOnTick([this] {
        ticks.push_back(scheduler.nowMs());
        timer.setEnabled(false);
    });
    timer.setEnabled(true);
    scheduler.advanceBy(5000);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000}));
}

} // namespace
} // namespace veltrum::platform
