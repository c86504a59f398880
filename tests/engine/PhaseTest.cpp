// The phases are found by their exact names and numbers, in the order of the phase list.
#include "engine/Phase.h"

#include <gtest/gtest.h>

namespace veltrum::engine {
namespace {

TEST(Phase, NamesAndNumbersFollowThePhaseListAndMatchExactly) {
    int number = 1;
    for (const PhaseRules& phase : phases()) {
        EXPECT_EQ(phase.number(), number);
        EXPECT_EQ(phaseNumbered(number), &phase);
        EXPECT_EQ(phaseNamed(phase.name), &phase);
        ++number;
    }
    EXPECT_EQ(number, 5);
    EXPECT_EQ(phaseNamed("auto"), nullptr) << "names are compared case-sensitively";
    EXPECT_EQ(phaseNamed("Pick Phase"), nullptr);
    EXPECT_EQ(phaseNumbered(0), nullptr);
}

} // namespace
} // namespace veltrum::engine
