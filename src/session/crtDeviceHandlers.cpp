#include "session/crt.h"

namespace veltrum::session {

// The hopper and sensor timers run their tick handlers.
void crt::connectDeviceHandlers() {
    Hopper_Timer.setOnTick([this] { runSessionHandler(&crt::Hopper_Timer_Timer); });
    Infrared.setOnTick([this] { runSessionHandler(&crt::Infrared_Timer); });
}

} // namespace veltrum::session
