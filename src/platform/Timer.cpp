#include "Timer.h"

namespace veltrum::platform {

Timer::Timer(Scheduler& scheduler, std::string name, std::int32_t intervalMs)
    : m_scheduler(scheduler)
    , m_name(std::move(name))
    , m_interval(intervalMs) {}

Timer::~Timer() {
    disarm();
}

void Timer::setInterval(std::int32_t intervalMs) {
    m_interval = intervalMs;
    if (m_enabled) {
        disarm();
        arm(m_scheduler.nowUs() + intervalUs());
    }
}

void Timer::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled)
        arm(m_scheduler.nowUs() + intervalUs());
    else
        disarm();
}

void Timer::arm(std::int64_t dueUs) {
    // An interval of 0 (or less) never fires: the timer stays enabled but silent.
    if (m_interval <= 0)
        return;
    m_due = dueUs;
    m_armed = true;
    m_task = m_scheduler.scheduleAtUs(m_due, [this] { fire(); });
}

void Timer::disarm() {
    if (m_armed)
        m_scheduler.cancel(m_task);
    m_armed = false;
}

void Timer::fire() {
    m_armed = false;
    if (!m_enabled)
        return;
    // The next tick is due one interval after this one was due, not after it was delivered, so
    // lateness never adds up. Ticks missed while the thread was blocked (a modal question) are
    // dropped rather than delivered in a burst, keeping the phase of the remaining ones.
    // A handler that changes the interval or disables the timer re-arms or disarms it itself.
    const std::int64_t interval = intervalUs();
    std::int64_t next = m_due + interval;
    const std::int64_t now = m_scheduler.nowUs();
    if (next <= now)
        next += ((now - next) / interval + 1) * interval;
    arm(next);
    if (m_onTick)
        m_onTick();
}

} // namespace veltrum::platform
