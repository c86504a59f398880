// The one failure of start-up and of the set-up handlers: what failed, where, and what to do.
#pragma once

#include <stdexcept>

namespace veltrum::session {

class SetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace veltrum::session
