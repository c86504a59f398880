// The session's figures at one moment, for views that show it while it runs (the operator's console).
// Taken on the chamber's thread; cheap to copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veltrum::engine {

enum class CycleState { SettingUp, WaitingForStart, InterTrial, Stimulus, Food, Ended };

struct SessionSnapshot {
    std::string subject;
    std::string phase; // "MagTrain", "Auto", "SuccDisc", "SimDisc"
    int sessionNumber = 0;
    CycleState state = CycleState::SettingUp;
    std::int64_t nowMs = 0;        // the scheduler's clock
    std::int64_t startedAtMs = -1; // when key S started the session; -1 before
    int sessionMinutes = 0;        // SessionDuration: the session's length in minutes
    int trial = 0;                 // CurrentTrial
    int totalTrials = 0;           // TotalTrials
    // The figures the summary record holds, under the record's column names.
    int rewards = 0;     // touches scored "Reward"
    int target = 0;      // "Target": TargetPecks + PreTargetPecks (goal pecks)
    int screen = 0;      // "Screen": every counted peck
    int timeouts = 0;    // "Timeouts"
    int headEntries = 0; // HopCheck
    std::size_t rowsCommitted = 0;
    std::size_t rowsWaiting = 0;
    bool linkConnected = false;
    std::string tabletAddress;
    std::int64_t lastTabletMessageAtMs = -1;
};

} // namespace veltrum::engine
