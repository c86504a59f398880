// Every variable of a run of the controller, as the session engine holds it.
#pragma once

#include "forms/Int16.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltrum::engine {

using forms::Int16;
using forms::OverflowError;

// The figures a session's summary record is made of: who ran, on what, and what happened. The session
// state is made of these and the variables below, so the record is made from the state itself.
struct SessionTotals {
    std::string Subject;
    std::string PhaseDescription;
    Int16 SessionNumber;
    Int16 PhaseNumber; // 1 MagTrain, 2 Auto, 3 SuccDisc, 4 SimDisc; 0 none

    // What happened
    Int16 CurrentTrial; // trials begun; also the schedule row of the current trial
    Int16 HopCheck;     // head entries since the program started
    Int16 TrialsWPeck;  // trials with a peck
    Int16 TargetPecks;
    Int16 PreTargetPecks; // reported, never changed
    Int16 NonTargetPecks;
    Int16 PreNonTargetPecks; // reported, never changed
    Int16 TargetSPlus;
    Int16 TargetSMinus;
    Int16 PreTargetSPlus;
    Int16 PreTargetSMinus;
    Int16 Timeouts;
    double StimulusTotalTime = 0.0; // seconds of configured stimulus time
    Int16 SessionTime;              // whole minutes since the session started

    // Phase parameters
    Int16 TotalTrials;
    Int16 SessionDuration;    // minutes
    Int16 HeadDetect;         // 0, 1, or 2 after shaping keys
    Int16 Instrumental;       // flag
    Int16 Pavlovian;          // flag
    Int16 HopperDuration;     // seconds
    Int16 ResponseITI;        // seconds
    Int16 NoResponseITI;      // seconds
    Int16 StimulusTotalCount; // seconds of the stimulus period
};

// The ten parameters of a phase, as rows 1 to 10 of its column in the subject's parameter workbook.
struct PhaseParameters {
    Int16 TotalTrials;
    Int16 SessionDuration;    // minutes
    Int16 HeadDetect;         // 0 or 1
    Int16 StimulusTotalCount; // seconds
    Int16 Instrumental;       // flag
    Int16 Pavlovian;          // flag
    Int16 HopperDuration;     // seconds
    Int16 ResponseITI;        // seconds
    Int16 NoResponseITI;      // seconds
    Int16 FIDuration;         // milliseconds
};

// What the set-up panel loads before Start: the subject, its next session, the phase and its parameters,
// and whether the chamber runs without hardware.
struct SessionSetUp {
    std::string Subject;
    Int16 SessionNumber;
    Int16 PhaseNumber;
    bool HardwareFree = false;
    PhaseParameters parameters;
};

// Numbers start at 0, texts empty, tables all 0 or empty. Nothing resets the record as a whole: each
// procedure resets the variables it owns. Flags are Int16 holding 0 or 1.
struct SessionState : SessionTotals {
    // Current trial
    Int16 GoalLocation;         // position of the goal stimulus (schedule column 2)
    Int16 ObjectTouched;        // position the subject touched last
    Int16 StimulusCounter;      // seconds elapsed in the stimulus period
    Int16 ITICounter;           // seconds elapsed in the inter-trial interval
    Int16 TrialType;            // type code 1..6 (schedule column 1)
    Int16 Reinforce;            // flag: the current trial is reinforced
    Int16 FIStatus;             // flag: the fixed interval of this trial has elapsed
    std::int32_t TrialTime = 0; // seconds since midnight at the trial's begin
    std::int32_t StartTime = 0; // seconds since midnight at the session's start
    // The same two instants at the clock's full resolution: rows measure their times from these, so a
    // touch's "TrialTime" is its true latency rather than one off by up to half a second of rounding.
    double TrialInstant = 0.0;
    double StartInstant = 0.0;
    // Hardware-free mode ("click to run without hardware"), taken from the check box when it changes:
    // no port is touched, the food period is timed at once, every inter-trial interval lasts 2 s.
    bool HardwareFree = false;
    std::string Outcome; // outcome word of the trial's last recorded event
    Int16 Ordinal;       // responses so far in the trial

    // The session beyond its totals
    Int16 TrialPeck;        // flag: this trial had a goal touch counting as a peck
    Int16 FalseGoal;        // "SimDisc": position of the non-reinforced stimulus
    std::string KeyShaping; // "SHAPING KEYS USED. " once a shaping key was used

    // Set-up
    std::string NewDataFile; // full path of this session's data workbook

    // Phase parameters
    Int16 FIDuration;    // milliseconds
    Int16 ITITotalCount; // seconds of the coming inter-trial interval

    // Private tables
    std::array<std::string, 9> StimPicture; // picture file per stimulus number; 0 and 8 empty
    std::array<Int16, 9> StimPosition;      // position of stimulus i in this trial; 0 = not shown
    std::array<Int16, 8> PosStimulus;       // stimulus last shown at position p
};

} // namespace veltrum::engine
