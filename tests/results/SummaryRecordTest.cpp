#include "results/SummaryRecord.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using veltrum::results::SavingMoment;
using veltrum::results::SessionTotals;
using veltrum::workbook::AppendRow;
using veltrum::workbook::AppendValue;
using veltrum::workbook::ValueKind;

// A value as the operator would read it in the workbook: "n:0" for a number, "t:0.70" for a text.
std::string shown(const AppendValue& value) {
    if (value.kind == ValueKind::Text)
        return "t:" + value.text;
    if (value.kind == ValueKind::Number)
        return "n:" + std::to_string(static_cast<long long>(value.number));
    return "other";
}

const AppendValue& field(const AppendRow& row, const std::string& header) {
    for (const auto& f : row)
        if (f.header == header)
            return f.value;
    throw std::out_of_range("no column " + header);
}

struct RateCase {
    const char* name;
    const char* phase;
    int T, N, sPlus, sMinus, pPlus, pMinus;
    double stimulusTime;
    std::string targetDR, targetRate, preTargetDR;
};

std::ostream& operator<<(std::ostream& out, const RateCase& c) {
    return out << c.name;
}

class RateRulesTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateRulesTest, FirstRuleThatAppliesDecides) {
    const RateCase& c = GetParam();
    SessionTotals totals;
    totals.PhaseDescription = c.phase;
    totals.TargetPecks = c.T;
    totals.NonTargetPecks = c.N;
    totals.TargetSPlus = c.sPlus;
    totals.TargetSMinus = c.sMinus;
    totals.PreTargetSPlus = c.pPlus;
    totals.PreTargetSMinus = c.pMinus;
    totals.StimulusTotalTime = c.stimulusTime;
    const auto rates = veltrum::results::rateColumns(totals);
    EXPECT_EQ(shown(rates.TargetDR), c.targetDR);
    EXPECT_EQ(shown(rates.TargetRate), c.targetRate);
    EXPECT_EQ(shown(rates.PreTargetDR), c.preTargetDR);
}

INSTANTIATE_TEST_SUITE_P(Phases, RateRulesTest,
                         ::testing::Values(RateCase{"MagTrainWritesZerosWhateverWasPecked", "MagTrain", 9, 3,
                                                    5, 2, 1, 1, 90.0, "n:0", "n:0", "n:0"},
                                           RateCase{"AutoWritesOnlyTheRate", "Auto", 12, 0, 12, 0, 0, 0,
                                                    120.0, "n:0", "t:0.10", "n:0"},
                                           RateCase{"SuccDiscWritesBothRatios", "SuccDisc", 7, 1, 6, 2, 1, 1,
                                                    70.0, "t:0.70", "t:0.10", "t:0.50"},
                                           RateCase{"SimDiscWithoutEarlyPecksWritesZeroPreRatio", "SimDisc",
                                                    4, 2, 4, 2, 0, 0, 40.0, "t:0.67", "t:0.10", "n:0"},
                                           RateCase{"NothingPeckedWritesZerosInAnyPhase", "SuccDisc", 0, 0, 0,
                                                    0, 0, 0, 60.0, "n:0", "n:0", "n:0"},
                                           RateCase{"NoStimulusTimeWritesZeroRate", "Auto", 3, 0, 3, 0, 0, 0,
                                                    0.0, "n:0", "n:0", "n:0"},
                                           RateCase{"PhaseNamesAreCaseSensitive", "magtrain", 5, 0, 5, 0, 0,
                                                    0, 50.0, "t:1.00", "t:0.10", "n:0"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct HopCase {
    int hopCheck;
    int trials;
    std::string caption;
};

class HopPercentTest : public ::testing::TestWithParam<HopCase> {};

TEST_P(HopPercentTest, WholePercentRoundedHalfAwayFromZero) {
    EXPECT_EQ(veltrum::results::hopPercentText(GetParam().hopCheck, GetParam().trials), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(Captions, HopPercentTest,
                         ::testing::Values(HopCase{3, 4, "75"}, HopCase{2, 3, "67"}, HopCase{1, 3, "33"},
                                           HopCase{1, 8, "13"}, HopCase{0, 4, "0"}, HopCase{3, 0, "0"},
                                           HopCase{7, 5, "140"}));

SessionTotals sessionWithHeadEntries() {
    SessionTotals totals;
    totals.Subject = "P101";
    totals.PhaseDescription = "SuccDisc";
    totals.SessionNumber = 4;
    totals.PhaseNumber = 3;
    totals.CurrentTrial = 4;
    totals.HopCheck = 3;
    totals.TargetPecks = 2;
    totals.PreTargetPecks = 1;
    totals.NonTargetPecks = 5;
    totals.SessionTime = 12;
    totals.TotalTrials = 40;
    totals.StimulusTotalCount = 10;
    return totals;
}

SavingMoment savedAt(std::string comment) {
    return SavingMoment{{2026, 1, 5}, 37230.75, 12345, std::move(comment)};
}

TEST(SummaryRecord, AssignsTheTwentyNineColumnsInOrder) {
    const AppendRow row = veltrum::results::summaryRecord(sessionWithHeadEntries(), savedAt(""));
    std::vector<std::string> headers;
    for (const auto& f : row)
        headers.push_back(f.header);
    EXPECT_EQ(headers,
              (std::vector<std::string>{
                  "Subject",        "Date",   "Time",     "Box",      "Session",    "Phase",       "Trials",
                  "ProgramVersion", "HopPC",  "TrialPC",  "TargetDR", "TargetRate", "PreTargetDR", "Duration",
                  "Target",         "Screen", "Timeouts", "TT",       "SeD",        "HASP",        "HAES",
                  "IHHD",           "HD",     "ITI",      "TITI",     "SD",         "ShapingKeys", "Comments",
                  "Comments2"}));
}

TEST(SummaryRecord, HeadEntriesWithoutTrialsWriteZeroInsteadOfDividing) {
    SessionTotals totals = sessionWithHeadEntries();
    totals.CurrentTrial = 0;
    totals.TrialsWPeck = 2;
    const AppendRow row = veltrum::results::summaryRecord(totals, savedAt(""));
    EXPECT_EQ(shown(field(row, "HopPC")), "n:0");
    EXPECT_EQ(shown(field(row, "TrialPC")), "n:0");
}

struct CommentCase {
    const char* name;
    std::string comment;
    std::string shapingKeys;
    std::size_t firstCharacters;
    std::size_t secondCharacters;
};

std::ostream& operator<<(std::ostream& out, const CommentCase& c) {
    return out << c.name;
}

std::string repeated(const std::string& character, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += character;
    return text;
}

// Characters (code points) of UTF-8 text.
std::size_t characters(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char byte : text)
        count += (byte & 0xC0) != 0x80;
    return count;
}

class CommentColumnsTest : public ::testing::TestWithParam<CommentCase> {};

TEST_P(CommentColumnsTest, SplitsAtTwoHundredFiftyFiveCharacters) {
    const CommentCase& c = GetParam();
    const AppendRow row = veltrum::results::summaryRecord(sessionWithHeadEntries(), savedAt(c.comment));
    const std::string first = field(row, "Comments").text;
    const std::string second = field(row, "Comments2").text;
    EXPECT_EQ(shown(field(row, "ShapingKeys")), "t:" + c.shapingKeys);
    EXPECT_EQ(characters(first), c.firstCharacters);
    EXPECT_EQ(characters(second), c.secondCharacters);
    EXPECT_EQ(first + second, c.comment.substr(0, first.size() + second.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Comments, CommentColumnsTest,
    ::testing::Values(CommentCase{"Empty", "", "No", 0, 0},
                      CommentCase{"ShapingKeysNote", "SHAPING KEYS USED. ", "Yes", 19, 0},
                      CommentCase{"TypedPrefixCounts", "SHAPING KEYS USED.by hand", "Yes", 25, 0},
                      CommentCase{"LowerCasePrefixDoesNot", "shaping keys used. ", "No", 19, 0},
                      CommentCase{"PrefixNotAtTheStart", " SHAPING KEYS USED.", "No", 19, 0},
                      CommentCase{"ExactlyOneColumn", repeated("a", 255), "No", 255, 0},
                      CommentCase{"ThreeHundred", repeated("b", 300), "No", 255, 45},
                      CommentCase{"BothColumnsFull", repeated("c", 510), "No", 255, 255},
                      CommentCase{"AccentsCountAsOneCharacter", repeated("\xC3\xA9", 300), "No", 255, 45},
                      CommentCase{"FourByteCharacters", repeated("\xF0\x9F\x90\xA6", 256), "No", 255, 1}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
