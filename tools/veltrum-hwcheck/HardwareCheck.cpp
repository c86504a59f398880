#include "HardwareCheck.h"

#include "devices/PortMap.h"

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <string>

namespace veltrum::tools {

using namespace devices::chamber;

HardwareCheck::HardwareCheck(platform::IoCard& card, const platform::Scheduler& clock, std::ostream& out)
    : m_card(card)
    , m_clock(clock)
    , m_out(out) {}

const char* HardwareCheck::keys() {
    return "keys: u raise the hopper, d lower it, i inter-trial output on, o all outputs off, q quit";
}

void HardwareCheck::start() {
    m_startMs = m_lastMs = m_clock.nowMs();
    write(allOff, "all outputs off");
    poll();
}

bool HardwareCheck::key(char key) {
    switch (key) {
    case 'u':
        write(hopperRaised, "hopper raised");
        return true;
    case 'd':
        write(allOff, "hopper lowered, all outputs off");
        return true;
    case 'i':
        write(interTrialOutput, "inter-trial output on, hopper lowered");
        return true;
    case 'o':
        write(allOff, "all outputs off");
        return true;
    case 'q':
        return false;
    case ' ':
    case '\n':
    case '\r':
    case '\t':
        return true;
    default:
        m_out << keys() << std::endl;
        return true;
    }
}

void HardwareCheck::poll() {
    const std::int16_t value = m_card.portRead(1, sensorPort, -1);
    if (value == m_sensor)
        return;
    m_sensor = value;
    show(std::string(value == headIn ? "sensor: head in" : "sensor: no head") + " (" +
         std::to_string(sensorPort) + " = " + std::to_string(value) + ")");
}

void HardwareCheck::finish() {
    write(allOff, "all outputs off");
}

void HardwareCheck::write(std::int32_t value, const char* what) {
    try {
        m_card.portWrite(1, outputPort, 0, value);
    } catch (const std::exception& failure) {
        show(std::string("failed: ") + failure.what());
        return;
    }
    show(std::string(what) + " (" + std::to_string(outputPort) + " = " + std::to_string(value) + ")");
}

void HardwareCheck::show(const std::string& text) {
    const std::int64_t now = m_clock.nowMs();
    char times[64];
    std::snprintf(times, sizeof times, "%4" PRId64 ".%03" PRId64 " s  (+%" PRId64 ".%03" PRId64 ")  ",
                  (now - m_startMs) / 1000, (now - m_startMs) % 1000, (now - m_lastMs) / 1000,
                  (now - m_lastMs) % 1000);
    m_lastMs = now;
    m_out << times << text << std::endl;
}

} // namespace veltrum::tools
