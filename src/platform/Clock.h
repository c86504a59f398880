// Wall-clock time of day and date, as the session records them.
#pragma once

namespace veltrum::platform {

struct CalendarDate {
    int year = 1970;
    int month = 1;
    int day = 1;
    bool operator==(const CalendarDate&) const = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since local midnight, with the fraction of the second.
    virtual double secondsSinceMidnight() const = 0;
    // Today's local date.
    virtual CalendarDate today() const = 0;
};

} // namespace veltrum::platform
