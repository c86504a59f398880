#include "session/crt.h"

namespace veltrum::session {

namespace {

// Output port 792 carries the hopper (value 2) and the inter-trial output (64); input port 780 reads 1
// while a head interrupts the beam at the hopper opening.
constexpr std::int32_t outputPort = 792;
constexpr std::int32_t sensorPort = 780;
constexpr std::int32_t hopperRaised = 2;
constexpr std::int32_t interTrialOutput = 64;

} // namespace

void crt::HopperUp() {
    Label1.setCaption("Hopper Up");
    Label1.repaint();
    if (Check1.value() == 1) {
        // Without hardware the food period is timed from now and no sensor is polled.
        Hopper_Timer.setEnabled(true);
        return;
    }
    m_services.ioCard.portRead(1, sensorPort, -1);
    m_services.ioCard.portWrite(1, outputPort, 0, hopperRaised);
    Infrared.setEnabled(true);
    if (state.HeadDetect == 0)
        Hopper_Timer.setEnabled(true);
}

void crt::HopperDown() {
    Label1.setCaption("Hopper Down");
    Label1.repaint();
    if (Check1.value() != 1)
        m_services.ioCard.portWrite(1, outputPort, 0, 0);
}

void crt::InterTrialOutputOn() {
    if (Check1.value() != 1)
        m_services.ioCard.portWrite(1, outputPort, 0, interTrialOutput);
}

void crt::OutputsOff() {
    if (Check1.value() != 1)
        m_services.ioCard.portWrite(1, outputPort, 0, 0);
}

void crt::Infrared_Timer() {
    // Only the value 1 is a head in the opening; anything else keeps the polling going.
    if (m_services.ioCard.portRead(1, sensorPort, -1) != 1)
        return;
    // The entry is counted last: a count that cannot grow is reported once, and the food period still runs.
    Infrared.setEnabled(false);
    if (state.HeadDetect == 1 || state.HeadDetect == 2)
        Hopper_Timer.setEnabled(true);
    state.HopCheck += 1;
}

void crt::Hopper_Timer_Timer() {
    Infrared.setEnabled(false);
    if (Check1.value() != 1) {
        HopperDown();
        InterTrialOutputOn();
    }
    EndTrial();
    Hopper_Timer.setEnabled(false);
}

} // namespace veltrum::session
