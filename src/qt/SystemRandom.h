// The uniform random source for shuffling, seeded from the clock.
#pragma once

#include "platform/RandomSource.h"

#include <cstdint>
#include <optional>
#include <random>

namespace veltrum::qt {

class SystemRandom : public platform::RandomSource {
public:
    SystemRandom();
    // Every seeding uses `seed` rather than the clock: two runs draw the same schedule (tests).
    explicit SystemRandom(std::uint32_t seed);
    void seedFromClock() override;
    // Uniform over 0 <= r < 1 in steps of 2^-24, so the value is exact in single precision and never 1.
    float next() override;

private:
    std::mt19937 m_engine;
    std::optional<std::uint32_t> m_fixedSeed;
};

} // namespace veltrum::qt
