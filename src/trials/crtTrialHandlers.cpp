#include "session/crt.h"

namespace veltrum::session {

// The timers of the trial cycle run their tick handlers.
void crt::connectTrialHandlers() {}

} // namespace veltrum::session
