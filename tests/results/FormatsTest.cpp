#include "results/Formats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>

namespace {

using veltrum::results::formatFixed;

struct FormatCase {
    double value;
    int decimals;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const FormatCase& c) {
    return out << c.value << " with " << c.decimals << " decimals";
}

class FormatFixedTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatFixedTest, WritesThePatternsDigits) {
    EXPECT_EQ(formatFixed(GetParam().value, GetParam().decimals), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    TwoDecimals, FormatFixedTest,
    ::testing::Values(FormatCase{0.0, 2, "0.00"}, FormatCase{0.7, 2, "0.70"}, FormatCase{0.1, 2, "0.10"},
                      FormatCase{0.75, 2, "0.75"}, FormatCase{0.125, 2, "0.13"}, FormatCase{2.675, 2, "2.68"},
                      FormatCase{1.005, 2, "1.01"}, FormatCase{99.995, 2, "100.00"},
                      FormatCase{0.004, 2, "0.00"}, FormatCase{-0.004, 2, "0.00"},
                      FormatCase{-1.125, 2, "-1.13"}, FormatCase{12345.678, 2, "12345.68"},
                      FormatCase{1e20, 2, "100000000000000000000.00"}, FormatCase{1.0 / 3.0, 2, "0.33"},
                      FormatCase{2.0 / 3.0, 2, "0.67"}));

INSTANTIATE_TEST_SUITE_P(WholeNumber, FormatFixedTest,
                         ::testing::Values(FormatCase{75.0, 0, "75"}, FormatCase{200.0 / 3.0, 0, "67"},
                                           FormatCase{100.0 / 3.0, 0, "33"}, FormatCase{12.5, 0, "13"},
                                           FormatCase{0.5, 0, "1"}, FormatCase{0.49, 0, "0"},
                                           FormatCase{-2.5, 0, "-3"}, FormatCase{99999.5, 0, "100000"},
                                           FormatCase{0.000001, 0, "0"}));

TEST(FormatFixed, RefusesNumbersThatAreNotFinite) {
    EXPECT_THROW(formatFixed(std::numeric_limits<double>::quiet_NaN(), 2), std::domain_error);
    EXPECT_THROW(formatFixed(std::numeric_limits<double>::infinity(), 0), std::domain_error);
}

} // namespace
