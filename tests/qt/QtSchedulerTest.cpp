#include "qt/QtScheduler.h"
#include "qt/FailureReport.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using veltrum::qt::QtScheduler;

namespace {

constexpr int waitLimitMs = 10000;

struct TaskRun {
    std::string name;
    std::int64_t due;
    std::int64_t ranAt;
};

class QtSchedulerTest : public ::testing::Test {
protected:
    void TearDown() override { veltrum::qt::setFailureSink({}); }

    void arm(const std::string& name, std::int64_t due) {
        scheduler.scheduleAt(due, [this, name, due] { runs.push_back({name, due, scheduler.nowMs()}); });
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const TaskRun& run : runs)
            result.push_back(run.name);
        return result;
    }

    QtScheduler scheduler;
    std::vector<TaskRun> runs;
};

TEST_F(QtSchedulerTest, RunsTasksInDueOrderWithTiesInArmingOrderAndNeverEarly) {
    const std::int64_t start = scheduler.nowMs();
    arm("late", start + 60);
    arm("tie-first", start + 20);
    arm("tie-second", start + 20);
    arm("past", start - 500);
    arm("middle", start + 40);

    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.size() == 5; }, waitLimitMs));
    EXPECT_EQ(names(), (std::vector<std::string>{"past", "tie-first", "tie-second", "middle", "late"}));
    for (const TaskRun& run : runs)
        EXPECT_GE(run.ranAt, run.due) << run.name;
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST_F(QtSchedulerTest, TaskDueAlreadyDoesNotRunInsideScheduleAt) {
    arm("overdue", scheduler.nowMs() - 1000);
    EXPECT_TRUE(runs.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.size() == 1; }, waitLimitMs));
}

TEST_F(QtSchedulerTest, CancelledTaskNeverRunsAndUnknownIdsAreIgnored) {
    const std::int64_t start = scheduler.nowMs();
    const auto first = scheduler.scheduleAt(start + 10, [this] { runs.push_back({"cancelled", 0, 0}); });
    arm("kept", start + 30);
    scheduler.cancel(first);
    scheduler.cancel(first);
    scheduler.cancel(987654);

    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.size() == 1; }, waitLimitMs));
    EXPECT_EQ(names(), (std::vector<std::string>{"kept"}));
}

TEST_F(QtSchedulerTest, TaskArmedFromATaskRunsBeforeLaterOnes) {
    const std::int64_t start = scheduler.nowMs();
    scheduler.scheduleAt(start, [this, start] {
        runs.push_back({"outer", start, scheduler.nowMs()});
        arm("inner", start + 10);
    });
    arm("later", start + 80);

    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.size() == 3; }, waitLimitMs));
    EXPECT_EQ(names(), (std::vector<std::string>{"outer", "inner", "later"}));
}

TEST_F(QtSchedulerTest, ThrowingTaskIsReportedAndLaterTasksStillRun) {
    QStringList reported;
    veltrum::qt::setFailureSink([&](const QString& message) { reported.append(message); });
    const std::int64_t start = scheduler.nowMs();
    scheduler.scheduleAt(start, [] { throw std::runtime_error("Hopper card not found"); });
    arm("after", start);

    ASSERT_TRUE(QTest::qWaitFor([&] { return runs.size() == 1; }, waitLimitMs));
    EXPECT_EQ(reported, QStringList{QStringLiteral("Hopper card not found")});
}

TEST_F(QtSchedulerTest, TaskRearmingItselfForNowLetsOtherEventsRun) {
    int passes = 0;
    bool otherEventRan = false;
    int passesBeforeOtherEvent = -1;
    std::function<void()> again = [&] {
        ++passes;
        if (otherEventRan && passesBeforeOtherEvent < 0)
            passesBeforeOtherEvent = passes;
        if (passes < 100000 && passesBeforeOtherEvent < 0)
            scheduler.scheduleAt(scheduler.nowMs(), again);
    };
    scheduler.scheduleAt(scheduler.nowMs(), again);
    QTimer::singleShot(0, [&] { otherEventRan = true; });

    ASSERT_TRUE(QTest::qWaitFor([&] { return passesBeforeOtherEvent > 0 || passes >= 100000; }, waitLimitMs));
    EXPECT_TRUE(otherEventRan);
    EXPECT_LT(passesBeforeOtherEvent, 1000);
}

} // namespace
