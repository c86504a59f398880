// The uniform random source for shuffling, seeded from the clock.
#pragma once

#include "platform/RandomSource.h"

#include <random>

namespace veltrum::qt {

class SystemRandom : public platform::RandomSource {
public:
    SystemRandom();
    void seedFromClock() override;
    // Uniform over 0 <= r < 1 in steps of 2^-24, so the value is exact in single precision and never 1.
    float next() override;

private:
    std::mt19937 m_engine;
};

} // namespace veltrum::qt
