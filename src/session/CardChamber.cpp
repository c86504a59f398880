#include "session/CardChamber.h"

#include "devices/PortMap.h"

namespace veltrum::session {

using devices::chamber::allOff;
using devices::chamber::headIn;
using devices::chamber::hopperRaised;
using devices::chamber::interTrialOutput;
using devices::chamber::outputPort;
using devices::chamber::sensorPort;

void CardChamber::raiseHopper() {
    m_card.portRead(1, sensorPort, -1);
    m_card.portWrite(1, outputPort, 0, hopperRaised);
}

void CardChamber::lowerHopper() {
    m_card.portWrite(1, outputPort, 0, allOff);
}

void CardChamber::turnInterTrialOutputOn() {
    m_card.portWrite(1, outputPort, 0, interTrialOutput);
}

void CardChamber::turnOutputsOff() {
    m_card.portWrite(1, outputPort, 0, allOff);
}

bool CardChamber::headInOpening() {
    // Only the value 1 is a head in the opening; anything else keeps the polling going.
    return m_card.portRead(1, sensorPort, -1) == headIn;
}

} // namespace veltrum::session
