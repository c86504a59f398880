#include "qt/QtScheduler.h"

#include "qt/FailureReport.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <sys/timerfd.h>
#include <unistd.h>

namespace veltrum::qt {

namespace {

std::int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// For the timing log, so a late task can be set beside what else happened on the computer then.
std::int64_t wallClockMs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

} // namespace

QtScheduler::QtScheduler(QObject* parent)
    : QObject(parent)
    , m_epochNs(monotonicNs()) {
    m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd < 0)
        throw std::runtime_error(std::string("The session's timer could not be created: ") +
                                 std::strerror(errno));
    m_notifier = new QSocketNotifier(m_timerFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        std::uint64_t expirations = 0;
        while (::read(m_timerFd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
        }
        m_armedFor = -1;
        runDueTasks();
    });
}

QtScheduler::~QtScheduler() {
    delete m_notifier;
    ::close(m_timerFd);
}

std::int64_t QtScheduler::nowUs() const {
    return (monotonicNs() - m_epochNs) / 1000;
}

platform::Scheduler::TaskId QtScheduler::scheduleAtUs(std::int64_t dueUs, std::function<void()> task) {
    const TaskId id = m_nextId++;
    // A due time in the past is "now": it keeps its place after tasks already due, never jumps them.
    const std::int64_t due = std::max(dueUs, nowUs());
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
    const std::int64_t now = nowUs();
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
        const std::int64_t late = nowUs() - key.first;
        ++m_lateness.tasks;
        if (late > m_lateness.latestUs) {
            m_lateness.latestUs = late;
            m_lateness.latestAtMs = wallClockMs();
        }
        if (late > 20'000)
            ++m_lateness.over20Ms;
        runGuarded(task);
    }
    rearm();
}

void QtScheduler::rearm() {
    const std::int64_t due = m_tasks.empty() ? -1 : m_tasks.begin()->first.first;
    if (due == m_armedFor)
        return;
    m_armedFor = due;
    itimerspec deadline{};
    if (due >= 0) {
        // An absolute deadline already past fires at once; zero would disarm, so the earliest is 1 ns.
        const std::int64_t at = std::max<std::int64_t>(m_epochNs + due * 1000, 1);
        deadline.it_value.tv_sec = static_cast<time_t>(at / 1'000'000'000);
        deadline.it_value.tv_nsec = static_cast<long>(at % 1'000'000'000);
    }
    ::timerfd_settime(m_timerFd, due >= 0 ? TFD_TIMER_ABSTIME : 0, &deadline, nullptr);
}

} // namespace veltrum::qt
