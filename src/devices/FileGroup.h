// The group owning a device file, for messages telling the operator which group to join.
#pragma once

#include <string>

namespace veltrum::devices {

// The group's name (its number when it has none); empty when the file cannot be examined.
std::string owningGroup(const std::string& path);

} // namespace veltrum::devices
