#include "engine/Phase.h"
#include "engine/SessionEngine.h"

namespace veltrum::engine {

namespace {

// Outcome word recorded in the row, and the word the operator sees.
struct Words {
    const char* outcome;
    const char* label;
};

} // namespace

void SessionEngine::ScoreResponse(Int16& ScreenIndex, Int16& TabletPosition) {
    SessionState& state = m_state;
    // Every touch counts in the trial's ordinal, even one that is otherwise ignored.
    state.Ordinal += 1;
    if (state.GoalLocation == 0)
        return;

    const int touched = (ScreenIndex > 0 ? ScreenIndex : TabletPosition).toInt();
    bool scoredTold = false;
    const auto showWords = [this](const Words& words) {
        m_state.Outcome = words.outcome;
        m_with.display.showOutcomeWords(words.label);
    };

    if (!m_timers.Stimulus.isEnabled()) {
        // Outside the stimulus period: between trials, after a rewarded touch, or with no time limit.
        showWords({"ITI", "ITI"});
    } else if (state.Instrumental != 1) {
        // Touches are shown and recorded only; the row repeats the previous outcome word.
        m_with.display.showOutcomeWords("Stim Touched");
    } else {
        state.ObjectTouched = ScreenIndex > 0 ? ScreenIndex : TabletPosition;
        const bool goal = state.ObjectTouched == state.GoalLocation;
        const bool afterInterval = state.FIStatus == 1;
        const bool reinforced = state.Reinforce == 1;
        const PhaseRules* phase = phaseNamed(state.PhaseDescription);
        const bool onlyThePairIsPecked = phase && phase->onlyThePairIsPecked;
        if (goal && afterInterval && reinforced) {
            state.TrialPeck = 1;
            state.TargetPecks += 1;
            // The peck is told before the pictures go off and the hopper it raises comes up.
            publish(SessionEventKind::TouchScored, "Reward", touched);
            scoredTold = true;
            StimulusOff();
            HopperUp();
            showWords({"Reward", "Goal"});
            state.TargetSPlus += 1;
        } else if (goal && afterInterval) {
            state.TrialPeck = 1;
            state.TargetPecks += 1;
            showWords({"S-", "S-"});
            state.TargetSMinus += 1;
        } else if (goal && reinforced) {
            state.TargetPecks += 1;
            showWords({"PreFIGoal", "PreFIGoal"});
            state.PreTargetSPlus += 1;
            state.TrialPeck = 1;
        } else if (goal) {
            state.TargetPecks += 1;
            showWords({"PreFIS-", "PreFIS-"});
            state.PreTargetSMinus += 1;
        } else if (onlyThePairIsPecked && state.ObjectTouched != state.FalseGoal) {
            // Neither of the two pictures shown: not a peck at all.
            showWords({"OutsideTouch", "Outside Touch"});
        } else if (!afterInterval) {
            state.NonTargetPecks += 1;
            showWords({"PreFINotGoal", "PreFINotGoal"});
            state.PreTargetSMinus += 1;
        } else {
            state.NonTargetPecks += 1;
            showWords({"NotGoal", "Not Goal"});
            state.TargetSMinus += 1;
        }
    }
    if (!scoredTold)
        publish(SessionEventKind::TouchScored, state.Outcome, touched);
    m_with.records.RecordTrial(ScreenIndex, TabletPosition);
}

} // namespace veltrum::engine
