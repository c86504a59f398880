#include "platform/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <string>

namespace veltrum::platform {
namespace {

TEST(VirtualSchedulerTest, RunsTasksByDueTimeThenArmingOrderAtTheirOwnTime) {
    VirtualScheduler scheduler;
    std::string order;
    scheduler.scheduleAt(20, [&] { order += "b@" + std::to_string(scheduler.nowMs()) + " "; });
    scheduler.scheduleAt(10, [&] { order += "a@" + std::to_string(scheduler.nowMs()) + " "; });
    scheduler.scheduleAt(20, [&] { order += "c@" + std::to_string(scheduler.nowMs()) + " "; });
    scheduler.advanceBy(25);
    EXPECT_EQ(order, "a@10 b@20 c@20 ");
    EXPECT_EQ(scheduler.nowMs(), 25);
}

TEST(VirtualSchedulerTest, TaskArmedByATaskForNowRunsInTheSameAdvance) {
    VirtualScheduler scheduler;
    int runs = 0;
    scheduler.scheduleAt(5, [&] { scheduler.scheduleAt(0, [&] { ++runs; }); });
    scheduler.advanceBy(5);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(VirtualSchedulerTest, CancelledTasksNeverRunAndUnknownIdsAreIgnored) {
    VirtualScheduler scheduler;
    bool ran = false;
    const Scheduler::TaskId id = scheduler.scheduleAt(10, [&] { ran = true; });
    scheduler.cancel(id);
    scheduler.cancel(id);
    scheduler.cancel(999);
    scheduler.advanceBy(100);
    EXPECT_FALSE(ran);
    EXPECT_EQ(scheduler.nextDue(), -1);
    EXPECT_FALSE(scheduler.runNext());
}

} // namespace
} // namespace veltrum::platform
