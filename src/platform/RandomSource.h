// The uniform random source that shuffles the trial schedule.
#pragma once

#include <cstdint>

namespace veltrum::platform {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // Reseeds the generator; production seeds from the clock at every schedule build.
    virtual void seedFromClock() = 0;
    // Next number r with 0 <= r < 1, single precision.
    virtual float next() = 0;
};

} // namespace veltrum::platform
