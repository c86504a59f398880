// Virtual time for tests and simulations: tasks run in due-time order when time is advanced.
#pragma once

#include "Scheduler.h"

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace veltrum::platform {

class VirtualScheduler : public Scheduler {
public:
    std::int64_t nowUs() const override { return m_now; }
    TaskId scheduleAtUs(std::int64_t dueUs, std::function<void()> task) override;
    void cancel(TaskId id) override;

    // Runs every task due up to now + ms in due order (ties in arming order), moving the clock to
    // each task's due time before running it, and leaves the clock at now + ms.
    void advanceBy(std::int64_t ms);
    // Runs tasks until the next one would be due after `ms`; leaves the clock at ms.
    void advanceTo(std::int64_t ms);
    void advanceToUs(std::int64_t us);
    // Runs tasks that are due now (at the current time) only.
    void runDue() { advanceBy(0); }
    // Runs the next pending task, moving the clock to its due time; false when none is pending.
    bool runNext();
    // Time of the next pending task in whole milliseconds (rounded up), or -1.
    std::int64_t nextDue() const;
    std::size_t pendingCount() const { return m_tasks.size(); }

private:
    using Key = std::pair<std::int64_t, TaskId>; // due time in microseconds, arming sequence
    std::map<Key, std::function<void()>> m_tasks;
    std::map<TaskId, std::int64_t> m_dueById;
    std::int64_t m_now = 0; // microseconds
    TaskId m_nextId = 1;
};

} // namespace veltrum::platform
