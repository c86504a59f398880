#include "qt/SystemRandom.h"

#include <chrono>

namespace veltrum::qt {

SystemRandom::SystemRandom() {
    seedFromClock();
}

SystemRandom::SystemRandom(std::uint32_t seed)
    : m_fixedSeed(seed) {
    seedFromClock();
}

void SystemRandom::seedFromClock() {
    if (m_fixedSeed) {
        m_engine.seed(*m_fixedSeed);
        return;
    }
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
    m_engine.seed(seed);
}

float SystemRandom::next() {
    // A float distribution over the engine may round up to 1.0; 24 random bits scaled by 2^-24 cannot.
    constexpr float step = 1.0f / 16777216.0f;
    return static_cast<float>(m_engine() >> 8) * step;
}

} // namespace veltrum::qt
