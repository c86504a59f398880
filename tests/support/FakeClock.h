// A wall clock that follows virtual time: a start time of day plus the scheduler's elapsed milliseconds.
#pragma once

#include "platform/Clock.h"
#include "platform/VirtualScheduler.h"

namespace veltrum::testing {

class FakeClock : public platform::Clock {
public:
    explicit FakeClock(const platform::VirtualScheduler& scheduler,
                       double startSecondsSinceMidnight = 36000.0, platform::CalendarDate date = {2026, 1, 5})
        : m_scheduler(scheduler)
        , m_start(startSecondsSinceMidnight)
        , m_date(date) {}
    double secondsSinceMidnight() const override {
        const double seconds = m_start + static_cast<double>(m_scheduler.nowMs()) / 1000.0;
        return seconds - 86400.0 * static_cast<double>(static_cast<long long>(seconds / 86400.0));
    }
    platform::CalendarDate today() const override { return m_date; }
    void setStart(double secondsSinceMidnight) { m_start = secondsSinceMidnight; }
    void setToday(platform::CalendarDate date) { m_date = date; }

private:
    const platform::VirtualScheduler& m_scheduler;
    double m_start;
    platform::CalendarDate m_date;
};

} // namespace veltrum::testing
