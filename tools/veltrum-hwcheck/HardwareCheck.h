// The hardware check: raises and lowers the hopper and switches the inter-trial output on keys, and
// shows the head-entry sensor with every change timed, on whatever card the operator chose.
#pragma once

#include "platform/IoCard.h"
#include "platform/Scheduler.h"

#include <cstdint>
#include <ostream>

namespace veltrum::tools {

// Keys: u raises the hopper, d lowers it, i switches the inter-trial output on, o switches all outputs
// off, q quits. Every line shows the seconds since the check began and, in brackets, since the line
// before, so the time from raising the hopper to a head entry can be read off.
class HardwareCheck {
public:
    HardwareCheck(platform::IoCard& card, const platform::Scheduler& clock, std::ostream& out);

    static const char* keys();
    // Switches all outputs off and shows the sensor as it is.
    void start();
    // Acts on one key; false when it asks to quit. Whitespace is ignored; a failing card call is shown.
    bool key(char key);
    // Reads the sensor once and shows it when it changed. Throws when the card cannot be read.
    void poll();
    // Switches all outputs off, leaving the chamber as a session finds it.
    void finish();

private:
    void write(std::int32_t value, const char* what);
    void show(const std::string& text);

    platform::IoCard& m_card;
    const platform::Scheduler& m_clock;
    std::ostream& m_out;
    std::int64_t m_startMs = 0;
    std::int64_t m_lastMs = 0;
    std::int16_t m_sensor = -1;
};

} // namespace veltrum::tools
