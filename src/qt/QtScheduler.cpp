#include "qt/QtScheduler.h"

#include "qt/FailureReport.h"

#include <algorithm>
#include <limits>

namespace veltrum::qt {

QtScheduler::QtScheduler(QObject* parent)
    : QObject(parent) {
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QtScheduler::runDueTasks);
}

std::int64_t QtScheduler::nowMs() const {
    return m_clock.elapsed();
}

platform::Scheduler::TaskId QtScheduler::scheduleAt(std::int64_t dueMs, std::function<void()> task) {
    const TaskId id = m_nextId++;
    // A due time in the past is "now": it keeps its place after tasks already due, never jumps them.
    const std::int64_t due = std::max(dueMs, nowMs());
    m_tasks.emplace(Key{due, id}, std::move(task));
    m_dueById.emplace(id, due);
    rearm();
    return id;
}

void QtScheduler::cancel(TaskId id) {
    const auto found = m_dueById.find(id);
    if (found == m_dueById.end())
        return;
    m_tasks.erase(Key{found->second, id});
    m_dueById.erase(found);
    rearm();
}

void QtScheduler::runDueTasks() {
    // Only tasks armed before this pass run in it, so a task that re-arms itself for "now" waits for
    // the next pass and window events still get their turn.
    const TaskId armedBefore = m_nextId;
    const std::int64_t now = nowMs();
    // Tasks armed during the pass are due no earlier than now and sort after every older task due now,
    // so the front of the queue tells whether any task of this pass is left.
    while (!m_tasks.empty()) {
        const auto first = m_tasks.begin();
        if (first->first.first > now || first->first.second >= armedBefore)
            break;
        const Key key = first->first;
        std::function<void()> task = std::move(first->second);
        m_tasks.erase(first);
        m_dueById.erase(key.second);
        runGuarded(task);
    }
    rearm();
}

void QtScheduler::rearm() {
    if (m_tasks.empty()) {
        m_timer.stop();
        return;
    }
    const std::int64_t wait = std::max<std::int64_t>(0, m_tasks.begin()->first.first - nowMs());
    m_timer.start(static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max())));
}

} // namespace veltrum::qt
