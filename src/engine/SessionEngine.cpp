#include "engine/SessionEngine.h"

#include <cmath>
#include <exception>
#include <utility>

namespace veltrum::engine {

SessionEngine::SessionEngine(platform::Scheduler& scheduler, platform::Clock& clock,
                             Collaborators collaborators)
    : ITI(scheduler, "ITI", 1000)
    , Stimulus(scheduler, "Stimulus", 1000)
    , FI(scheduler, "FI", 0)
    , Session_Timer(scheduler, "Session_Timer", 60000)
    , Hopper_Timer(scheduler, "Hopper_Timer", 4000)
    , Infrared(scheduler, "Infrared", 100)
    , m_scheduler(scheduler)
    , m_clock(clock)
    , m_with(collaborators) {
    ITI.setOnTick([this] { runTick(&SessionEngine::ITI_Timer); });
    Stimulus.setOnTick([this] { runTick(&SessionEngine::Stimulus_Timer); });
    FI.setOnTick([this] { runTick(&SessionEngine::FI_Timer); });
    Session_Timer.setOnTick([this] { runTick(&SessionEngine::Session_Timer_Timer); });
    Hopper_Timer.setOnTick([this] { runTick(&SessionEngine::Hopper_Timer_Timer); });
    Infrared.setOnTick([this] { runTick(&SessionEngine::Infrared_Timer); });
}

void SessionEngine::runTick(void (SessionEngine::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        m_with.panel.reportFailure(error.what());
    }
}

std::int32_t SessionEngine::roundedSecondsSinceMidnight() const {
    return static_cast<std::int32_t>(std::nearbyint(m_clock.secondsSinceMidnight()));
}

CycleState SessionEngine::cycleState() const {
    if (m_ended)
        return CycleState::Ended;
    if (!m_setUp)
        return CycleState::SettingUp;
    if (m_startedAtMs < 0)
        return CycleState::WaitingForStart;
    if (m_hopperUp)
        return CycleState::Food;
    if (m_stimulusShown)
        return CycleState::Stimulus;
    return CycleState::InterTrial;
}

SessionEvent SessionEngine::eventNow(SessionEventKind kind) const {
    SessionEvent event;
    event.kind = kind;
    event.atMs = m_scheduler.nowMs();
    event.trial = m_state.CurrentTrial.toInt();
    event.rowsWaiting = m_with.records.rowsWaiting();
    return event;
}

void SessionEngine::publish(SessionEventKind kind, std::string outcome, int position, std::string detail) {
    SessionEvent event = eventNow(kind);
    event.position = position;
    event.outcome = std::move(outcome);
    event.detail = std::move(detail);
    m_events.publish(event);
}

void SessionEngine::BeginSession() {
    m_state.CurrentTrial = 0;
    Session_Timer.setEnabled(true);
    m_startedAtMs = m_scheduler.nowMs();
    publish(SessionEventKind::SessionStarted);
    EndTrial();
}

void SessionEngine::markSessionStart() {
    m_state.StartInstant = m_clock.secondsSinceMidnight();
    m_state.StartTime = roundedSecondsSinceMidnight();
}

void SessionEngine::EndSession(SessionEndTrigger trigger) {
    // A session ends once: a timer tick or a key handled while the operator answers a question must not
    // run the end a second time.
    if (m_ended)
        return;
    m_ended = true;
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
    m_with.panel.hideWindow();
    m_with.display.setPositionTexts({"0", "0", "0", "0", "0", "0"});
    m_with.display.sendDisplayMessage();
    if (!byOperator && m_with.display.closeLink())
        publish(SessionEventKind::LinkDown, {}, 0, "closed at the session's end");
    m_with.records.retryRows();
    publish(SessionEventKind::SessionEnded, {}, 0,
            byOperator                                   ? "operator"
            : trigger == SessionEndTrigger::SessionClock ? "clock"
                                                         : "trials");
    m_with.panel.openSummary();
}

} // namespace veltrum::engine
