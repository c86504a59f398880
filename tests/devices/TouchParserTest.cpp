#include "devices/TouchParser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using veltrum::devices::TouchParse;
using veltrum::devices::TouchParser;
using veltrum::devices::TouchStream;

// Arrivals fed in order from a fresh connection, and what must have been read from all of them.
struct ParseCase {
    const char* name;
    std::vector<std::string> arrivals;
    std::vector<std::int16_t> positions;
    int rejected;
    std::string pendingAfter;
};

std::ostream& operator<<(std::ostream& out, const ParseCase& c) {
    return out << c.name;
}

class TouchParserCaseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TouchParserCaseTest, ReadsTheTouchesOfEachArrival) {
    const ParseCase& c = GetParam();
    TouchStream stream;
    std::vector<std::int16_t> positions;
    int rejected = 0;
    for (const std::string& arrival : c.arrivals) {
        TouchParse parsed = TouchParser::parse(stream, arrival);
        positions.insert(positions.end(), parsed.positions.begin(), parsed.positions.end());
        rejected += parsed.rejected;
        EXPECT_EQ(parsed.dropped, 0);
        stream = parsed.stream;
    }
    EXPECT_EQ(positions, c.positions);
    EXPECT_EQ(rejected, c.rejected);
    EXPECT_EQ(stream.pending, c.pendingAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, TouchParserCaseTest,
    ::testing::Values(
        ParseCase{"BareDigitIsOneTouch", {"4"}, {4}, 0, ""},
        ParseCase{"EachUnframedArrivalIsOneTouch", {"4", "2"}, {4, 2}, 0, ""},
        ParseCase{"LineEndTerminated", {"4\n"}, {4}, 0, ""},
        ParseCase{"CarriageReturnLineEnd", {"4\r\n5\r\n"}, {4, 5}, 0, ""},
        ParseCase{"CommaSpaceAndTabSeparate", {"1,2 3\t4"}, {1, 2, 3, 4}, 0, ""},
        ParseCase{"EmptyFieldsAreNotTouches", {",, \n\r\n"}, {}, 0, ""},
        // Bare digits ran together in one arrival: each position is its own touch, in order.
        ParseCase{"RunOfPositionsIsThatManyTouches", {"61", "3451"}, {6, 1, 3, 4, 5, 1}, 0, ""},
        ParseCase{"RunWithOtherDigitsIsOneNumber", {"70,17"}, {70, 17}, 0, ""},
        ParseCase{"ZeroAndNegativesAreRead", {"0,-3"}, {0, -3}, 0, ""},
        ParseCase{"SignedAndLeadingZeros", {"+5,007"}, {5, 7}, 0, ""},
        ParseCase{"SixteenBitLimits", {"32767,-32768"}, {32767, -32768}, 0, ""},
        ParseCase{"JustOutsideSixteenBits", {"32768,-32769"}, {}, 2, ""},
        ParseCase{"HugeNumberRejected", {"99999999999999"}, {}, 1, ""},
        ParseCase{"NotANumber", {"abc"}, {}, 1, ""}, ParseCase{"DecimalPointRejected", {"4.0"}, {}, 1, ""},
        ParseCase{"LoneSign", {"-"}, {}, 1, ""},
        ParseCase{"NulByteRejected", {std::string("4\0", 2)}, {}, 1, ""},
        ParseCase{"BadTouchDoesNotSpoilItsNeighbours", {"2,x,5"}, {2, 5}, 1, ""},
        ParseCase{"FramedTouchSplitAcrossArrivals", {"1\n", "2", "9\n"}, {1, 29}, 0, ""},
        ParseCase{"FramedTailWaitsForItsLineEnd", {"6\n5"}, {6}, 0, "5"},
        ParseCase{"OverlongTouchSkippedToItsSeparator", {std::string(40, '1') + "\n3\n"}, {3}, 1, ""},
        ParseCase{
            "OverlongFramedTouchAcrossArrivals", {"\n", std::string(20, '7'), "7777", "\n2\n"}, {2}, 1, ""}));

TEST(TouchParserTest, ByteAtATimeFromALineFramedTabletReadsWholeTouches) {
    TouchStream stream;
    stream.lineFramed = true;
    std::vector<std::int16_t> positions;
    for (const char c : std::string("19\n-4\n6\n")) {
        TouchParse parsed = TouchParser::parse(stream, std::string(1, c));
        positions.insert(positions.end(), parsed.positions.begin(), parsed.positions.end());
        stream = parsed.stream;
    }
    EXPECT_EQ(positions, (std::vector<std::int16_t>{19, -4, 6}));
}

TEST(TouchParserTest, FloodOfTouchesIsCutAtTheArrivalLimit) {
    std::string flood;
    for (int i = 0; i < 100000; ++i)
        flood += "3\n";
    const TouchParse parsed = TouchParser::parse({}, flood);
    EXPECT_EQ(parsed.positions.size(), TouchParser::maxTouchesPerArrival);
    EXPECT_EQ(parsed.dropped, 100000 - static_cast<int>(TouchParser::maxTouchesPerArrival));
    EXPECT_TRUE(parsed.stream.pending.empty());
}

TEST(TouchParserTest, EndlessTouchKeepsNoMoreThanTheLimit) {
    TouchStream stream;
    stream.lineFramed = true;
    for (int i = 0; i < 1000; ++i) {
        TouchParse parsed = TouchParser::parse(stream, std::string(4096, '9'));
        EXPECT_TRUE(parsed.positions.empty());
        stream = parsed.stream;
        ASSERT_LE(stream.pending.size(), TouchParser::maxTouchBytes);
    }
    const TouchParse last = TouchParser::parse(stream, "\n4\n");
    EXPECT_EQ(last.rejected, 1);
    EXPECT_EQ(last.positions, (std::vector<std::int16_t>{4}));
}

} // namespace
