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
    if (Form.isVisible() && m_sessionSetUp && !m_sessionEnded)
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

    const std::string& phase = state.PhaseDescription;
    if (phase == "MagTrain") {
        HopperUp();
    } else if (phase == "Auto") {
        state.StimPosition[7] = state.GoalLocation;
        state.Reinforce = 1;
    } else if (phase == "SuccDisc") {
        // Types 1 to 3 show the reinforced stimuli 1, 3, 5; types 4 to 6 the others, 2, 4, 6.
        constexpr int stimulusOfType[] = {0, 1, 3, 5, 2, 4, 6};
        const int t = state.TrialType.toInt();
        if (t >= 1 && t <= 6) {
            state.StimPosition[static_cast<std::size_t>(stimulusOfType[t])] = 2;
            state.Reinforce = t <= 3 ? 1 : 0;
        }
    } else if (phase == "SimDisc") {
        const int t = state.TrialType.toInt();
        if (t >= 1 && t <= 3) {
            const auto reinforced = static_cast<std::size_t>(2 * t - 1);
            const bool goalLeft = state.GoalLocation == 1;
            state.StimPosition[reinforced] = goalLeft ? 1 : 3;
            state.StimPosition[reinforced + 1] = goalLeft ? 3 : 1;
            state.FalseGoal = goalLeft ? 3 : 1;
            state.Reinforce = 1;
        }
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
    InterTrialOutputOn();
    StimulusOff();
    if (trigger == SessionEndTrigger::SessionClock) {
        for (platform::Timer* timer : {&Stimulus, &ITI, &Hopper_Timer, &Session_Timer})
            timer->setEnabled(false);
    } else {
        for (platform::Timer* timer : {&Hopper_Timer, &Session_Timer, &Infrared, &Stimulus, &ITI, &FI})
            timer->setEnabled(false);
    }
    Form.setVisible(false);
    for (TextBox* box : {&Text2, &Text3, &Text4, &Text6, &Text7, &Text8})
        box->setText("0");
    SendDisplayMessage();
    const bool linked = m_services.socket.state() == platform::TabletSocket::Connected;
    m_services.socket.close();
    if (linked)
        publish(engine::SessionEventKind::LinkDown, {}, 0, "closed at the session's end");
    if (!m_pendingRows.empty())
        writePendingRows();
    publish(engine::SessionEventKind::SessionEnded, {}, 0,
            trigger == SessionEndTrigger::SessionClock ? "clock" : "trials");
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
    if (!Form.isVisible())
        return;
    StimulusOff();
    if (state.PhaseDescription == "MagTrain") {
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
