#include "engine/Phase.h"
#include "engine/SessionEngine.h"

#include <optional>

namespace veltrum::engine {

void SessionEngine::EndTrial() {
    InterTrialOutputOn();
    m_state.FIStatus = 0;
    m_state.StimulusCounter = 0;
    m_state.Ordinal = 0;
    m_state.TrialPeck = 0;
    m_with.display.showHopperWords("Hopper Down");
    if (m_state.TotalTrials > 0 && m_state.CurrentTrial > m_state.TotalTrials - 1) {
        EndSession(SessionEndTrigger::TrialEnd);
        return;
    }
    // Only a session set up with Start has a schedule to run; a shaping key before that starts nothing.
    if (m_setUp && !m_ended)
        m_timers.ITI.setEnabled(true);
}

void SessionEngine::BeginTrial() {
    // A row the schedule left without numbers ("SuccDisc" and "SimDisc" build whole blocks of six, which
    // can fall short of the trial count) has no trial to run: the session ends as after its last trial.
    const std::optional<ScheduleRow> row = m_with.schedule.scheduleRow(m_state.CurrentTrial.toInt() + 1);
    if (!row) {
        EndSession(SessionEndTrigger::TrialEnd);
        return;
    }

    m_timers.FI.setEnabled(true);
    m_state.TrialInstant = m_clock.secondsSinceMidnight();
    m_state.TrialTime = roundedSecondsSinceMidnight();
    m_state.CurrentTrial += 1;
    m_state.TrialType = row->trialType;
    m_state.GoalLocation = row->goal;
    publish(SessionEventKind::TrialBegun);

    if (const PhaseRules* phase = phaseNamed(m_state.PhaseDescription)) {
        if (phase->feedsEachTrial)
            HopperUp();
        const TrialPlacement placement =
            phase->place(m_state.TrialType.toInt(), m_state.GoalLocation.toInt());
        for (std::size_t stimulus = 1; stimulus < placement.placed.size(); ++stimulus)
            if (placement.placed[stimulus])
                m_state.StimPosition[stimulus] = placement.stimulusPosition[stimulus];
        if (placement.setsReinforce)
            m_state.Reinforce = placement.reinforce ? 1 : 0;
        if (placement.setsFalseGoal)
            m_state.FalseGoal = placement.falseGoal;
    }
    StimulusOn();
}

void SessionEngine::ITI_Timer() {
    m_state.ITICounter += 1;
    if (m_state.ITICounter < m_state.ITITotalCount)
        return;
    OutputsOff();
    m_timers.ITI.setEnabled(false);
    m_state.ITICounter = 0;
    BeginTrial();
}

void SessionEngine::Stimulus_Timer() {
    m_state.StimulusCounter += 1;
    if (m_state.StimulusCounter < m_state.StimulusTotalCount)
        return;
    m_state.Ordinal = 0;
    m_state.Timeouts += 1;
    m_state.Outcome = "Trial Timeout";
    publish(SessionEventKind::TrialTimeout, m_state.Outcome);
    m_with.records.RecordTrial(0, 0);
    if (m_state.TotalTrials > 0 && m_state.CurrentTrial > m_state.TotalTrials - 1) {
        EndSession(SessionEndTrigger::StimulusTimeout);
        return;
    }
    if (m_ended)
        return;
    StimulusOff();
    const PhaseRules* phase = phaseNamed(m_state.PhaseDescription);
    if (phase && phase->feedsEachTrial) {
        HopperDown();
        EndTrial();
    } else if (m_state.Pavlovian != 1) {
        EndTrial();
    } else if (m_state.Reinforce == 1) {
        // The end of a reinforced stimulus period feeds; the food period's end ends the trial.
        HopperUp();
        m_with.display.showOutcomeWords("AutoReward");
    } else {
        EndTrial();
    }
}

void SessionEngine::FI_Timer() {
    m_timers.FI.setEnabled(false);
    m_state.FIStatus = 1;
}

void SessionEngine::Session_Timer_Timer() {
    m_state.SessionTime += 1;
    if (m_state.SessionTime >= m_state.SessionDuration)
        EndSession(SessionEndTrigger::SessionClock);
}

} // namespace veltrum::engine
