// Building and shuffling a session's trial schedule into the grid.
#pragma once

#include "engine/Phase.h"
#include "trials/FlexGrid.h"

#include <string>
#include <vector>

namespace veltrum::platform {
class RandomSource;
}

namespace veltrum::trials {

// The schedule's grid size: rows 1..200 hold at most 200 trials; row 0 and column 0 are unused.
inline constexpr int ScheduleGridRows = 201;
inline constexpr int ScheduleGridCols = 8;
inline constexpr int MaxScheduledTrials = ScheduleGridRows - 1;

using engine::ScheduleEntry;

// The unshuffled rows the phase of that name builds for a trial count (its rule set says how); a name
// that is no phase builds none.
std::vector<ScheduleEntry> scheduleEntries(const std::string& phase, int totalTrials);

// Writes the phase's rows into the grid from row 1 (type, goal, random key per row, one random draw per
// row in writing order), then sorts rows 1..totalTrials by their keys. Throws std::invalid_argument when
// the rows or the trial count do not fit the grid's 200 rows.
void BuildSchedule(FlexGrid& grid, platform::RandomSource& random, const std::string& phase, int totalTrials);

} // namespace veltrum::trials
