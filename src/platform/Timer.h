// A window timer as the session uses it: an interval, an enabled flag and a tick handler.
#pragma once

#include "Scheduler.h"

#include <cstdint>
#include <functional>
#include <string>

namespace veltrum::platform {

// Ticks every interval() ms while enabled. Ticks are due at fixed multiples of the interval from
// the moment of enabling, so late delivery never accumulates into drift. An interval of 0 never
// fires. Enabling a timer that is already enabled keeps its running period; changing the interval
// of an enabled timer restarts its period from now.
class Timer {
public:
    Timer(Scheduler& scheduler, std::string name, std::int32_t intervalMs);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    const std::string& name() const { return m_name; }
    std::int32_t interval() const { return m_interval; }
    void setInterval(std::int32_t intervalMs);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    void setOnTick(std::function<void()> handler) { m_onTick = std::move(handler); }

private:
    void arm(std::int64_t dueUs);
    std::int64_t intervalUs() const { return std::int64_t{m_interval} * 1000; }
    void disarm();
    void fire();

    Scheduler& m_scheduler;
    std::string m_name;
    std::int32_t m_interval;
    bool m_enabled = false;
    bool m_armed = false;
    Scheduler::TaskId m_task = 0;
    std::int64_t m_due = 0; // microseconds
    std::function<void()> m_onTick;
};

} // namespace veltrum::platform
