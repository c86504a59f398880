#include "devices/PortMap.h"
#include "session/crt.h"

#include <utility>

namespace veltrum::session {

using devices::chamber::allOff;
using devices::chamber::headIn;
using devices::chamber::hopperRaised;
using devices::chamber::interTrialOutput;
using devices::chamber::outputPort;
using devices::chamber::sensorPort;

void crt::HopperUp() {
    Label1.setCaption("Hopper Up");
    Label1.repaint();
    m_hopperUp = true;
    publish(engine::SessionEventKind::HopperUp);
    if (state.HardwareFree) {
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
    if (std::exchange(m_hopperUp, false))
        publish(engine::SessionEventKind::HopperDown);
    if (!state.HardwareFree)
        m_services.ioCard.portWrite(1, outputPort, 0, allOff);
}

void crt::InterTrialOutputOn() {
    if (!state.HardwareFree)
        m_services.ioCard.portWrite(1, outputPort, 0, interTrialOutput);
}

void crt::OutputsOff() {
    if (!state.HardwareFree)
        m_services.ioCard.portWrite(1, outputPort, 0, allOff);
}

void crt::Infrared_Timer() {
    // Only the value 1 is a head in the opening; anything else keeps the polling going.
    if (m_services.ioCard.portRead(1, sensorPort, -1) != headIn)
        return;
    // The entry is counted last: a count that cannot grow is reported once, and the food period still runs.
    Infrared.setEnabled(false);
    if (state.HeadDetect == 1 || state.HeadDetect == 2)
        Hopper_Timer.setEnabled(true);
    state.HopCheck += 1;
    publish(engine::SessionEventKind::HeadEntry);
}

void crt::Hopper_Timer_Timer() {
    Infrared.setEnabled(false);
    // Without hardware the hopper is not lowered through the card, but its food period is over.
    if (state.HardwareFree && std::exchange(m_hopperUp, false))
        publish(engine::SessionEventKind::HopperDown);
    if (!state.HardwareFree) {
        HopperDown();
        InterTrialOutputOn();
    }
    EndTrial();
    Hopper_Timer.setEnabled(false);
}

} // namespace veltrum::session
