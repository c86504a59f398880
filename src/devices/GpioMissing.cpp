// Built in place of libgpiod's calls when this build has no libgpiod.
#include "devices/GpioIoCard.h"

#include <stdexcept>

namespace veltrum::devices {

std::unique_ptr<GpioCalls> systemGpio() {
    throw std::runtime_error("This Veltrum was built without GPIO lines (libgpiod was not installed when it "
                             "was built): the gpio card cannot be used. Build it again with libgpiod-dev "
                             "installed, or choose another card with --card.");
}

} // namespace veltrum::devices
