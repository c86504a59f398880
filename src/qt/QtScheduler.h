// The core's scheduler on Qt's event loop: one precise QTimer re-armed to the earliest due task.
#pragma once

#include "platform/Scheduler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>
#include <utility>

namespace veltrum::qt {

// Tasks live in a deadline-ordered queue (ties in arming order); the single timer always waits for the
// front of the queue. A task that throws is reported through the failure sink and the others still run.
class QtScheduler : public QObject, public platform::Scheduler {
public:
    explicit QtScheduler(QObject* parent = nullptr);

    std::int64_t nowMs() const override;
    TaskId scheduleAt(std::int64_t dueMs, std::function<void()> task) override;
    void cancel(TaskId id) override;

    std::size_t pendingCount() const { return m_tasks.size(); }

private:
    void runDueTasks();
    void rearm();

    using Key = std::pair<std::int64_t, TaskId>; // due time, arming sequence
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::map<Key, std::function<void()>> m_tasks;
    std::map<TaskId, std::int64_t> m_dueById;
    TaskId m_nextId = 1;
};

} // namespace veltrum::qt
