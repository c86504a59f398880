// The core's scheduler on Qt's event loop: one kernel timer (timerfd, absolute deadlines on the monotonic
// clock, to the microsecond) re-armed to the earliest due task and watched by the event loop.
#pragma once

#include "platform/Scheduler.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <utility>

class QSocketNotifier;

namespace veltrum::qt {

// Tasks live in a deadline-ordered queue (ties in arming order); the kernel timer always waits for the
// front of the queue. A task that throws is reported through the failure sink and the others still run.
// A QTimer would round every wait to whole milliseconds and wake up to a millisecond late on top of it;
// the kernel timer wakes within tens of microseconds of the deadline.
class QtScheduler : public QObject, public platform::Scheduler {
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    std::int64_t nowUs() const override;
    TaskId scheduleAtUs(std::int64_t dueUs, std::function<void()> task) override;
    void cancel(TaskId id) override;

    std::size_t pendingCount() const { return m_tasks.size(); }

    // How late tasks ran after their due time: a task that runs late means the chamber's thread was
    // held up (busy, or not scheduled) when it was due.
    struct Lateness {
        std::size_t tasks = 0;
        std::int64_t latestUs = 0;   // the most any task ran after its due time
        std::int64_t latestAtMs = 0; // when that task ran, in milliseconds since the Unix epoch
        std::size_t over20Ms = 0;    // tasks that ran more than 20 ms late
    };
    // The figures since the last call, which starts them afresh.
    Lateness takeLateness() { return std::exchange(m_lateness, {}); }

private:
    void runDueTasks();
    void rearm();

    using Key = std::pair<std::int64_t, TaskId>; // due time in microseconds, arming sequence
    std::int64_t m_epochNs = 0;                  // CLOCK_MONOTONIC at construction
    int m_timerFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::int64_t m_armedFor = -1; // the deadline the kernel timer is set to, or -1
    std::map<Key, std::function<void()>> m_tasks;
    std::map<TaskId, std::int64_t> m_dueById;
    TaskId m_nextId = 1;
    Lateness m_lateness;
};

} // namespace veltrum::qt
