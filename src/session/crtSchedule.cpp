#include "session/crt.h"
#include "trials/Schedule.h"

namespace veltrum::session {

void crt::BuildSchedule() {
    trials::buildSchedule(MSFlexGrid1, m_services.random, state.PhaseDescription, state.TotalTrials.toInt());
}

} // namespace veltrum::session
