#include "forms/Int16.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace veltrum::forms {
namespace {

struct Overflowing {
    const char* name;
    std::function<Int16()> compute;
};

// Test names in ctest show the case name rather than the bytes of the case.
void PrintTo(const Overflowing& value, std::ostream* out) {
    *out << value.name;
}

class Int16OverflowTest : public ::testing::TestWithParam<Overflowing> {};

TEST_P(Int16OverflowTest, ThrowsInsteadOfWrapping) {
    try {
        GetParam().compute();
        FAIL() << "no overflow error";
    } catch (const OverflowError& error) {
        EXPECT_NE(std::string(error.what()).find("-32768 to 32767"), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, Int16OverflowTest,
    ::testing::Values(Overflowing{"IncrementPastMaximum",
                                  [] {
                                      Int16 n = 32767;
                                      return ++n;
                                  }},
                      Overflowing{"DecrementPastMinimum",
                                  [] {
                                      Int16 n = -32768;
                                      return --n;
                                  }},
                      Overflowing{"Sum", [] { return Int16(30000) + Int16(2768); }},
                      Overflowing{"Difference", [] { return Int16(-30000) - Int16(2769); }},
                      Overflowing{"HopperTimeTimesThousand", [] { return Int16(33) * Int16(1000); }},
                      Overflowing{"NegateMinimum", [] { return -Int16(-32768); }},
                      Overflowing{"FromLargeInteger", [] { return Int16(40000); }},
                      Overflowing{"FromDoubleRoundingUp", [] { return Int16::fromDouble(32767.5); }},
                      Overflowing{"FromNaN", [] { return Int16::fromDouble(std::nan("")); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Int16Test, ArithmeticAtTheEdgesOfTheRange) {
    EXPECT_EQ((Int16(32766) + Int16(1)).toInt(), 32767);
    EXPECT_EQ((Int16(-32767) - Int16(1)).toInt(), -32768);
    EXPECT_EQ((Int16(32) * Int16(1000)).toInt(), 32000);
}

class Int16RoundingTest : public ::testing::TestWithParam<std::pair<double, int>> {};

TEST_P(Int16RoundingTest, RoundsHalvesToEven) {
    EXPECT_EQ(Int16::fromDouble(GetParam().first).toInt(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, Int16RoundingTest,
                         ::testing::Values(std::pair{1.5, 2}, std::pair{2.5, 2}, std::pair{-0.5, 0},
                                           std::pair{-1.5, -2}, std::pair{0.49999, 0}, std::pair{3.51, 4},
                                           std::pair{-32768.5, -32768}, std::pair{32766.5, 32766}));

} // namespace
} // namespace veltrum::forms
