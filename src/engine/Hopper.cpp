#include "engine/SessionEngine.h"

#include <utility>

namespace veltrum::engine {

// Hardware-free mode touches no output of the card and polls no sensor: the food period is timed at once.

void SessionEngine::HopperUp() {
    m_with.display.showHopperWords("Hopper Up");
    m_hopperUp = true;
    publish(SessionEventKind::HopperUp);
    if (m_state.HardwareFree) {
        m_timers.Hopper_Timer.setEnabled(true);
        return;
    }
    m_with.chamber.raiseHopper();
    m_timers.Infrared.setEnabled(true);
    if (m_state.HeadDetect == 0)
        m_timers.Hopper_Timer.setEnabled(true);
}

void SessionEngine::HopperDown() {
    m_with.display.showHopperWords("Hopper Down");
    if (std::exchange(m_hopperUp, false))
        publish(SessionEventKind::HopperDown);
    if (!m_state.HardwareFree)
        m_with.chamber.lowerHopper();
}

void SessionEngine::InterTrialOutputOn() {
    if (!m_state.HardwareFree)
        m_with.chamber.turnInterTrialOutputOn();
}

void SessionEngine::OutputsOff() {
    if (!m_state.HardwareFree)
        m_with.chamber.turnOutputsOff();
}

void SessionEngine::Infrared_Timer() {
    // Only a head in the opening stops the polling.
    if (!m_with.chamber.headInOpening())
        return;
    // The entry is counted last: a count that cannot grow is reported once, and the food period still runs.
    m_timers.Infrared.setEnabled(false);
    if (m_state.HeadDetect == 1 || m_state.HeadDetect == 2)
        m_timers.Hopper_Timer.setEnabled(true);
    m_state.HopCheck += 1;
    publish(SessionEventKind::HeadEntry);
}

void SessionEngine::Hopper_Timer_Timer() {
    m_timers.Infrared.setEnabled(false);
    // Without hardware the hopper is not lowered through the card, but its food period is over.
    if (m_state.HardwareFree && std::exchange(m_hopperUp, false))
        publish(SessionEventKind::HopperDown);
    if (!m_state.HardwareFree) {
        HopperDown();
        InterTrialOutputOn();
    }
    EndTrial();
    m_timers.Hopper_Timer.setEnabled(false);
}

} // namespace veltrum::engine
