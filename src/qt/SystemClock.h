// The local wall clock: time of day with fractions of a second, and today's date.
#pragma once

#include "platform/Clock.h"

namespace veltrum::qt {

class SystemClock : public platform::Clock {
public:
    double secondsSinceMidnight() const override;
    platform::CalendarDate today() const override;
};

} // namespace veltrum::qt
