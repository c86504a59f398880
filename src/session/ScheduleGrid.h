// The session's schedule in the grid MSFlexGrid1: built and shuffled at Start (trials::BuildSchedule), read
// row by row by the session engine as each trial begins.
#pragma once

#include "engine/Collaborators.h"
#include "trials/FlexGrid.h"

#include <optional>
#include <string>

namespace veltrum::session {

class ScheduleGrid final : public engine::Schedule {
public:
    trials::FlexGrid MSFlexGrid1;

    std::optional<engine::ScheduleRow> scheduleRow(int n) const override;
};

} // namespace veltrum::session
