// The four training phases as rule sets: everything that differs from one phase to the next is held
// here, in one place per phase. Adding a phase means adding its rule set (and its column in the
// subjects' parameter workbooks), nothing else.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace veltrum::engine {

// Phase numbers are the order of the phase list and the parameter workbook's columns.
enum class PhaseId { MagTrain = 1, Auto = 2, SuccDisc = 3, SimDisc = 4 };

// One schedule row before shuffling: the trial's type and the position of its goal.
struct ScheduleEntry {
    int trialType = 0;
    int goal = 0;
};

// Where a trial's stimuli go and what the trial is, from its schedule row.
struct TrialPlacement {
    // stimulusPosition[n]: the position (1..6) of stimulus n (1..7) this trial, 0 = not shown; only the
    // stimuli this phase places are set (others keep what they had).
    std::array<int, 9> stimulusPosition{};
    std::array<bool, 9> placed{};
    bool setsReinforce = false;
    bool reinforce = false;
    int falseGoal = 0; // the non-reinforced stimulus's position in a two-picture trial
    bool setsFalseGoal = false;
};

// Which inter-trial interval follows the stimuli: the response interval unless the rule says otherwise.
enum class InterTrialRule {
    Response,                         // always the response interval
    NoResponseUntilAPeck,             // the no-response interval until a trial of the session had a peck
    NoResponseAfterAnUnreinforcedPeck // the no-response interval after a peck on an unreinforced trial
};

// How the summary record's three rate columns are filled.
enum class RateRule {
    None,       // all three 0
    TargetOnly, // only the goal-peck rate
    All         // discrimination ratios and the rate
};

struct PhaseRules {
    PhaseId id;
    std::string_view name;     // as listed, compared exactly
    std::vector<int> pictures; // stimulus numbers whose pictures the phase shows
    std::vector<ScheduleEntry> (*schedule)(int totalTrials);
    TrialPlacement (*place)(int trialType, int goal);
    bool feedsEachTrial; // the hopper rises as each trial begins and falls at its timeout
    InterTrialRule interTrial;
    bool onlyThePairIsPecked; // a touch beside the two pictures shown is outside, not a peck
    RateRule rates;

    int number() const { return static_cast<int>(id); }
};

// The phases in the order of the phase list.
const std::vector<PhaseRules>& phases();
// The phase of that exact name, or nullptr (a name typed into the list that is no phase).
const PhaseRules* phaseNamed(std::string_view name);
// The phase of that number (1..4), or nullptr.
const PhaseRules* phaseNumbered(int number);

} // namespace veltrum::engine
