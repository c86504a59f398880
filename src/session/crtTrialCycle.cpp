#include "engine/Phase.h"
#include "session/crt.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace veltrum::session {

namespace {

// A schedule cell as a whole 16-bit number; nullopt for an empty or non-numeric cell.
std::optional<Int16> scheduleNumber(const trials::FlexGrid& grid, int row, int column) {
    if (row < 1 || row >= grid.rows() || column >= grid.cols())
        return std::nullopt;
    const std::string& text = grid.textMatrix(row, column);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < Int16::minimum ||
        value > Int16::maximum)
        return std::nullopt;
    return Int16(value);
}

} // namespace

std::int32_t crt::roundedSecondsSinceMidnight() const {
    return static_cast<std::int32_t>(std::nearbyint(m_services.clock.secondsSinceMidnight()));
}

void crt::EndTrial() {
    InterTrialOutputOn();
    state.FIStatus = 0;
    state.StimulusCounter = 0;
    state.Ordinal = 0;
    state.TrialPeck = 0;
    Label1.setCaption("Hopper Down");
    Label1.repaint();
    if (state.TotalTrials > 0 && state.CurrentTrial > state.TotalTrials - 1) {
        EndSession(SessionEndTrigger::TrialEnd);
        return;
    }
    // Only a session set up with Start has a schedule to run; a shaping key before that starts nothing.
    if (m_sessionSetUp && !m_sessionEnded)
        ITI.setEnabled(true);
}

void crt::BeginTrial() {
    // A row the schedule left without numbers ("SuccDisc" and "SimDisc" build whole blocks of six, which
    // can fall short of the trial count) has no trial to run: the session ends as after its last trial.
    const int row = state.CurrentTrial.toInt() + 1;
    const std::optional<Int16> type = scheduleNumber(MSFlexGrid1, row, 1);
    const std::optional<Int16> goal = scheduleNumber(MSFlexGrid1, row, 2);
    if (!type || !goal) {
        EndSession(SessionEndTrigger::TrialEnd);
        return;
    }

    FI.setEnabled(true);
    state.TrialInstant = m_services.clock.secondsSinceMidnight();
    state.TrialTime = roundedSecondsSinceMidnight();
    state.CurrentTrial += 1;
    state.TrialType = *type;
    state.GoalLocation = *goal;
    publish(engine::SessionEventKind::TrialBegun);

    if (const engine::PhaseRules* phase = engine::phaseNamed(state.PhaseDescription)) {
        if (phase->feedsEachTrial)
            HopperUp();
        const engine::TrialPlacement placement =
            phase->place(state.TrialType.toInt(), state.GoalLocation.toInt());
        for (std::size_t stimulus = 1; stimulus < placement.placed.size(); ++stimulus)
            if (placement.placed[stimulus])
                state.StimPosition[stimulus] = placement.stimulusPosition[stimulus];
        if (placement.setsReinforce)
            state.Reinforce = placement.reinforce ? 1 : 0;
        if (placement.setsFalseGoal)
            state.FalseGoal = placement.falseGoal;
    }
    StimulusOn();
}

void crt::EndSession(SessionEndTrigger trigger) {
    // A session ends once: a timer tick or a key handled while the operator answers a question must not
    // run the end a second time.
    if (m_sessionEnded)
        return;
    m_sessionEnded = true;
    HopperDown();
    // The operator's leaving stops the session where it stands: no inter-trial output, the trial's
    // stimulus time is not counted, and the tablet's link stays open.
    const bool byOperator = trigger == SessionEndTrigger::Operator;
    if (!byOperator) {
        InterTrialOutputOn();
        StimulusOff();
    }
    if (trigger == SessionEndTrigger::SessionClock) {
        for (platform::Timer* timer : {&Stimulus, &ITI, &Hopper_Timer, &Session_Timer})
            timer->setEnabled(false);
    } else {
        for (platform::Timer* timer : {&Hopper_Timer, &Session_Timer, &Infrared, &Stimulus, &ITI, &FI})
            timer->setEnabled(false);
    }
    Form.setVisible(false);
    clearPositionBoxes();
    SendDisplayMessage();
    if (!byOperator) {
        const bool linked = m_services.socket.state() == platform::TabletSocket::Connected;
        m_services.socket.close();
        if (linked)
            publish(engine::SessionEventKind::LinkDown, {}, 0, "closed at the session's end");
    }
    m_rows.retry();
    publish(engine::SessionEventKind::SessionEnded, {}, 0,
            byOperator                                   ? "operator"
            : trigger == SessionEndTrigger::SessionClock ? "clock"
                                                         : "trials");
    ShowSummaryWindow();
}

void crt::ITI_Timer() {
    state.ITICounter += 1;
    if (state.ITICounter < state.ITITotalCount)
        return;
    OutputsOff();
    ITI.setEnabled(false);
    state.ITICounter = 0;
    BeginTrial();
}

void crt::Stimulus_Timer() {
    state.StimulusCounter += 1;
    if (state.StimulusCounter < state.StimulusTotalCount)
        return;
    state.Ordinal = 0;
    state.Timeouts += 1;
    state.Outcome = "Trial Timeout";
    publish(engine::SessionEventKind::TrialTimeout, state.Outcome);
    RecordTrial(0, 0);
    if (state.TotalTrials > 0 && state.CurrentTrial > state.TotalTrials - 1) {
        EndSession(SessionEndTrigger::StimulusTimeout);
        return;
    }
    if (m_sessionEnded)
        return;
    StimulusOff();
    const engine::PhaseRules* phase = engine::phaseNamed(state.PhaseDescription);
    if (phase && phase->feedsEachTrial) {
        HopperDown();
        EndTrial();
    } else if (state.Pavlovian != 1) {
        EndTrial();
    } else if (state.Reinforce == 1) {
        // The end of a reinforced stimulus period feeds; the food period's end ends the trial.
        HopperUp();
        Label3.setCaption("AutoReward");
        Label3.repaint();
    } else {
        EndTrial();
    }
}

void crt::FI_Timer() {
    FI.setEnabled(false);
    state.FIStatus = 1;
}

void crt::Session_Timer_Timer() {
    state.SessionTime += 1;
    if (state.SessionTime >= state.SessionDuration)
        EndSession(SessionEndTrigger::SessionClock);
}

} // namespace veltrum::session
