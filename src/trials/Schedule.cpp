#include "trials/Schedule.h"

#include "engine/Phase.h"
#include "platform/RandomSource.h"

#include <array>
#include <charconv>
#include <stdexcept>

namespace veltrum::trials {

namespace {

std::string floatText(float value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

} // namespace

std::vector<ScheduleEntry> scheduleEntries(const std::string& phase, int totalTrials) {
    const engine::PhaseRules* rules = engine::phaseNamed(phase);
    return rules ? rules->schedule(totalTrials) : std::vector<ScheduleEntry>{};
}

void BuildSchedule(FlexGrid& grid, platform::RandomSource& random, const std::string& phase,
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
