// Building and shuffling the trial schedule for each phase and trial count.
#include "trials/Schedule.h"

#include "support/SequenceRandom.h"

#include <gtest/gtest.h>

#include <ostream>

#include <map>
#include <stdexcept>
#include <string>

namespace veltrum::trials {
namespace {

struct ScheduleCase {
    const char* name;
    const char* phase;
    int totalTrials;
    int rowsBuilt;                               // rows written with numbers
    std::map<std::pair<int, int>, int> usedRows; // (type, goal) -> count within rows 1..totalTrials
    int emptyUsedRows;                           // rows within 1..totalTrials left without numbers
};

void PrintTo(const ScheduleCase& c, std::ostream* out) {
    *out << c.name;
}

class Schedule : public ::testing::TestWithParam<ScheduleCase> {};

std::map<std::pair<int, int>, int> each(std::initializer_list<std::pair<int, int>> rows, int times) {
    std::map<std::pair<int, int>, int> counts;
    for (const auto& row : rows)
        counts[row] = times;
    return counts;
}

TEST_P(Schedule, BuildsTheBalancedRowsAndShufflesTheUsedRange) {
    const ScheduleCase& c = GetParam();
    FlexGrid grid;
    testing::SequenceRandom random(
        {0.61f, 0.07f, 0.93f, 0.35f, 0.5f, 0.18f, 0.77f, 0.42f, 0.29f, 0.84f, 0.11f});
    BuildSchedule(grid, random, c.phase, c.totalTrials);

    EXPECT_EQ(grid.rows(), 201);
    EXPECT_EQ(grid.cols(), 8);
    EXPECT_EQ(random.seedCount(), 1);
    EXPECT_EQ(static_cast<int>(random.drawCount()), c.rowsBuilt);

    std::map<std::pair<int, int>, int> used;
    int empty = 0;
    double previousKey = -1.0;
    bool emptySeen = false;
    for (int row = 1; row <= c.totalTrials; ++row) {
        if (grid.textMatrix(row, 1).empty()) {
            ++empty;
            emptySeen = true;
            continue;
        }
        EXPECT_FALSE(emptySeen) << "row " << row << ": rows without numbers sort after every numbered row";
        ++used[{std::stoi(grid.textMatrix(row, 1)), std::stoi(grid.textMatrix(row, 2))}];
        const double key = std::stod(grid.textMatrix(row, 3));
        EXPECT_GE(key, previousKey) << "row " << row;
        EXPECT_LT(key, 1.0);
        previousKey = key;
    }
    EXPECT_EQ(used, c.usedRows);
    EXPECT_EQ(empty, c.emptyUsedRows);
    int built = 0;
    for (int row = 1; row <= 200; ++row)
        built += grid.textMatrix(row, 1).empty() ? 0 : 1;
    EXPECT_EQ(built, c.rowsBuilt);
}

const auto succDisc = {std::pair{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}};
const auto simDisc = {std::pair{1, 1}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 3}};

INSTANTIATE_TEST_SUITE_P(
    Phases, Schedule,
    ::testing::Values(
        ScheduleCase{"SuccDisc60", "SuccDisc", 60, 60, each(succDisc, 10), 0},
        ScheduleCase{"SimDisc60", "SimDisc", 60, 60, each(simDisc, 10), 0},
        // 9 / 6 rounds to 2 blocks: 12 rows, of which the first nine (one block, then types 1 to 3) are used.
        ScheduleCase{"SuccDisc9",
                     "SuccDisc",
                     9,
                     12,
                     {{{1, 2}, 2}, {{2, 2}, 2}, {{3, 2}, 2}, {{4, 2}, 1}, {{5, 2}, 1}, {{6, 2}, 1}},
                     0},
        // 15 / 6 = 2.5 rounds to the even 2: 12 rows and three empty ones in the used range.
        ScheduleCase{"SimDisc15", "SimDisc", 15, 12, each(simDisc, 2), 3},
        ScheduleCase{"SuccDisc3", "SuccDisc", 3, 0, {}, 3},
        ScheduleCase{"MagTrain200", "MagTrain", 200, 200, {{{1, 2}, 200}}, 0},
        ScheduleCase{"Auto9", "Auto", 9, 9, {{{1, 2}, 9}}, 0},
        ScheduleCase{"UnknownPhase", "Shaping", 5, 0, {}, 5},
        ScheduleCase{"NoTrials", "MagTrain", 0, 0, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct TooMany {
    const char* phase;
    int totalTrials;
};

class ScheduleRefuses : public ::testing::TestWithParam<TooMany> {};

TEST_P(ScheduleRefuses, WhatDoesNotFitTheGridAndTouchesNothing) {
    FlexGrid grid;
    testing::SequenceRandom random;
    EXPECT_THROW(BuildSchedule(grid, random, GetParam().phase, GetParam().totalTrials),
                 std::invalid_argument);
    EXPECT_EQ(grid.rows(), 0);
    EXPECT_EQ(random.drawCount(), 0u);
}

// 201 trials, and 204 = 34 blocks: both over the 200 rows; SimDisc 201 would build 198 rows but asks
// for 201 trials.
INSTANTIATE_TEST_SUITE_P(Counts, ScheduleRefuses,
                         ::testing::Values(TooMany{"MagTrain", 201}, TooMany{"SuccDisc", 204},
                                           TooMany{"SimDisc", 201}, TooMany{"Auto", 32767}));

TEST(ScheduleShuffle, RowsBeyondTheTrialCountKeepTheirPlace) {
    FlexGrid grid;
    testing::SequenceRandom random(
        {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 0.1f, 0.05f, 0.01f, 0.0f});
    BuildSchedule(grid, random, "SuccDisc", 9); // 12 rows built, 9 used
    // Rows 10 to 12 are the last three written (types 4, 5, 6 of the second block) with the lowest keys,
    // yet they stay out of the used range.
    EXPECT_EQ(grid.textMatrix(10, 1), "4");
    EXPECT_EQ(grid.textMatrix(11, 1), "5");
    EXPECT_EQ(grid.textMatrix(12, 1), "6");
    EXPECT_EQ(grid.textMatrix(1, 1), "3") << "the lowest key of the used rows comes first";
}

} // namespace
} // namespace veltrum::trials
