#include "trials/Schedule.h"

#include "platform/RandomSource.h"

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace veltrum::trials {

namespace {

std::string floatText(float value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

int blockCount(int totalTrials) {
    // Six trial types per block; the count is rounded to the nearest whole block, halves to even.
    return static_cast<int>(std::nearbyint(static_cast<double>(totalTrials) / 6.0));
}

} // namespace

std::vector<ScheduleEntry> scheduleEntries(const std::string& phase, int totalTrials) {
    std::vector<ScheduleEntry> entries;
    if (phase == "MagTrain" || phase == "Auto") {
        for (int i = 0; i < totalTrials; ++i)
            entries.push_back({1, 2});
    } else if (phase == "SuccDisc") {
        for (int block = 0; block < blockCount(totalTrials); ++block) {
            for (int type = 1; type <= 6; ++type)
                entries.push_back({type, 2});
        }
    } else if (phase == "SimDisc") {
        for (int block = 0; block < blockCount(totalTrials); ++block) {
            for (int pair = 1; pair <= 3; ++pair) {
                entries.push_back({pair, 1});
                entries.push_back({pair, 3});
            }
        }
    }
    return entries;
}

void buildSchedule(FlexGrid& grid, platform::RandomSource& random, const std::string& phase,
                   int totalTrials) {
    const std::vector<ScheduleEntry> entries = scheduleEntries(phase, totalTrials);
    if (totalTrials > MaxScheduledTrials || static_cast<int>(entries.size()) > MaxScheduledTrials) {
        throw std::invalid_argument("The phase \"" + phase + "\" asks for " + std::to_string(totalTrials) +
                                    " trials, which builds " + std::to_string(entries.size()) +
                                    " schedule rows; a session holds at most " +
                                    std::to_string(MaxScheduledTrials) +
                                    ". Lower the trial count in the subject's parameter workbook.");
    }
    random.seedFromClock();
    grid.setCols(ScheduleGridCols);
    grid.setRows(ScheduleGridRows);
    int row = 1;
    for (const ScheduleEntry& entry : entries) {
        grid.setTextMatrix(row, 1, std::to_string(entry.trialType));
        grid.setTextMatrix(row, 2, std::to_string(entry.goal));
        grid.setTextMatrix(row, 3, floatText(random.next()));
        ++row;
    }
    if (totalTrials >= 1)
        grid.sortRowsNumericAscending(1, totalTrials, 3);
}

} // namespace veltrum::trials
