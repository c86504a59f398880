// A random source that returns a given sequence of numbers, over and over.
#pragma once

#include "platform/RandomSource.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace veltrum::testing {

class SequenceRandom : public platform::RandomSource {
public:
    explicit SequenceRandom(std::vector<float> values = {0.5f})
        : m_values(std::move(values)) {}
    void seedFromClock() override { ++m_seeds; }
    float next() override {
        const float value = m_values[m_next % m_values.size()];
        ++m_next;
        return value;
    }
    int seedCount() const { return m_seeds; }
    std::size_t drawCount() const { return m_next; }

private:
    std::vector<float> m_values;
    std::size_t m_next = 0;
    int m_seeds = 0;
};

} // namespace veltrum::testing
