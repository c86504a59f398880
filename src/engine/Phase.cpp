#include "engine/Phase.h"

#include <cmath>

namespace veltrum::engine {

namespace {

// Six trial types per block; the count is rounded to the nearest whole block, halves to even.
int blockCount(int totalTrials) {
    return static_cast<int>(std::nearbyint(static_cast<double>(totalTrials) / 6.0));
}

std::vector<ScheduleEntry> oneRowPerTrial(int totalTrials) {
    return std::vector<ScheduleEntry>(static_cast<std::size_t>(totalTrials > 0 ? totalTrials : 0), {1, 2});
}

std::vector<ScheduleEntry> successiveBlocks(int totalTrials) {
    std::vector<ScheduleEntry> entries;
    for (int block = 0; block < blockCount(totalTrials); ++block)
        for (int type = 1; type <= 6; ++type)
            entries.push_back({type, 2});
    return entries;
}

std::vector<ScheduleEntry> simultaneousBlocks(int totalTrials) {
    std::vector<ScheduleEntry> entries;
    for (int block = 0; block < blockCount(totalTrials); ++block)
        for (int pair = 1; pair <= 3; ++pair) {
            entries.push_back({pair, 1});
            entries.push_back({pair, 3});
        }
    return entries;
}

TrialPlacement nothingPlaced(int, int) {
    return {};
}

// The autoshaping picture 7 at the goal; every trial is reinforced.
TrialPlacement autoshaping(int, int goal) {
    TrialPlacement p;
    p.stimulusPosition[7] = goal;
    p.placed[7] = true;
    p.setsReinforce = true;
    p.reinforce = true;
    return p;
}

// Types 1 to 3 show the reinforced stimuli 1, 3, 5 at the centre; types 4 to 6 the others, 2, 4, 6.
TrialPlacement successive(int type, int) {
    constexpr int stimulusOfType[] = {0, 1, 3, 5, 2, 4, 6};
    TrialPlacement p;
    if (type < 1 || type > 6)
        return p;
    const auto stimulus = static_cast<std::size_t>(stimulusOfType[type]);
    p.stimulusPosition[stimulus] = 2;
    p.placed[stimulus] = true;
    p.setsReinforce = true;
    p.reinforce = type <= 3;
    return p;
}

// Pair t shows its reinforced stimulus 2t-1 at the goal (left or right) and 2t on the other side.
TrialPlacement simultaneous(int type, int goal) {
    TrialPlacement p;
    if (type < 1 || type > 3)
        return p;
    const auto reinforced = static_cast<std::size_t>(2 * type - 1);
    const bool goalLeft = goal == 1;
    p.stimulusPosition[reinforced] = goalLeft ? 1 : 3;
    p.stimulusPosition[reinforced + 1] = goalLeft ? 3 : 1;
    p.placed[reinforced] = p.placed[reinforced + 1] = true;
    p.falseGoal = goalLeft ? 3 : 1;
    p.setsFalseGoal = true;
    p.setsReinforce = true;
    p.reinforce = true;
    return p;
}

} // namespace

const std::vector<PhaseRules>& phases() {
    static const std::vector<PhaseRules> all{
        {PhaseId::MagTrain,
         "MagTrain",
         {},
         oneRowPerTrial,
         nothingPlaced,
         true,
         InterTrialRule::Response,
         false,
         RateRule::None},
        {PhaseId::Auto,
         "Auto",
         {7},
         oneRowPerTrial,
         autoshaping,
         false,
         InterTrialRule::NoResponseUntilAPeck,
         false,
         RateRule::TargetOnly},
        {PhaseId::SuccDisc,
         "SuccDisc",
         {1, 2, 3, 4, 5, 6},
         successiveBlocks,
         successive,
         false,
         InterTrialRule::NoResponseAfterAnUnreinforcedPeck,
         false,
         RateRule::All},
        {PhaseId::SimDisc,
         "SimDisc",
         {1, 2, 3, 4, 5, 6},
         simultaneousBlocks,
         simultaneous,
         false,
         InterTrialRule::Response,
         true,
         RateRule::All},
    };
    return all;
}

const PhaseRules* phaseNamed(std::string_view name) {
    for (const PhaseRules& phase : phases())
        if (phase.name == name)
            return &phase;
    return nullptr;
}

const PhaseRules* phaseNumbered(int number) {
    for (const PhaseRules& phase : phases())
        if (phase.number() == number)
            return &phase;
    return nullptr;
}

} // namespace veltrum::engine
