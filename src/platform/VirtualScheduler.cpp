#include "VirtualScheduler.h"

#include <algorithm>

namespace veltrum::platform {

Scheduler::TaskId VirtualScheduler::scheduleAtUs(std::int64_t dueUs, std::function<void()> task) {
    const TaskId id = m_nextId++;
    const std::int64_t due = std::max(dueUs, m_now);
    m_tasks.emplace(Key{due, id}, std::move(task));
    m_dueById.emplace(id, due);
    return id;
}

void VirtualScheduler::cancel(TaskId id) {
    const auto found = m_dueById.find(id);
    if (found == m_dueById.end())
        return;
    m_tasks.erase(Key{found->second, id});
    m_dueById.erase(found);
}

bool VirtualScheduler::runNext() {
    if (m_tasks.empty())
        return false;
    auto first = m_tasks.begin();
    const Key key = first->first;
    std::function<void()> task = std::move(first->second);
    m_tasks.erase(first);
    m_dueById.erase(key.second);
    m_now = std::max(m_now, key.first);
    task();
    return true;
}

std::int64_t VirtualScheduler::nextDue() const {
    return m_tasks.empty() ? -1 : (m_tasks.begin()->first.first + 999) / 1000;
}

void VirtualScheduler::advanceTo(std::int64_t ms) {
    advanceToUs(ms * 1000);
}

void VirtualScheduler::advanceToUs(std::int64_t us) {
    while (!m_tasks.empty() && m_tasks.begin()->first.first <= us)
        runNext();
    m_now = std::max(m_now, us);
}

void VirtualScheduler::advanceBy(std::int64_t ms) {
    advanceToUs(m_now + ms * 1000);
}

} // namespace veltrum::platform
