// Built in place of the Comedi library's calls when this build has no libcomedi.
#include "devices/ComediIoCard.h"

#include <stdexcept>

namespace veltrum::devices {

std::unique_ptr<ComediCalls> systemComedi() {
    throw std::runtime_error("This Veltrum was built without Comedi (libcomedi was not installed when it was "
                             "built): the comedi card cannot be used. Build it again with libcomedi-dev "
                             "installed, or choose another card with --card.");
}

} // namespace veltrum::devices
