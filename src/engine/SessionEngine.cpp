#include "engine/SessionEngine.h"

#include <cmath>
#include <exception>
#include <utility>

namespace veltrum::engine {

SessionTimers::SessionTimers(platform::Scheduler& scheduler)
    : ITI(scheduler, "ITI", 1000)
    , Stimulus(scheduler, "Stimulus", 1000)
    , FI(scheduler, "FI", 0)
    , Session_Timer(scheduler, "Session_Timer", 60000)
    , Hopper_Timer(scheduler, "Hopper_Timer", 4000)
    , Infrared(scheduler, "Infrared", 100) {}

SessionEngine::SessionEngine(platform::Scheduler& scheduler, platform::Clock& clock,
                             Collaborators collaborators)
    : m_scheduler(scheduler)
    , m_clock(clock)
    , m_with(collaborators)
    , m_timers(scheduler) {
    m_timers.ITI.setOnTick([this] { runTick(&SessionEngine::ITI_Timer); });
    m_timers.Stimulus.setOnTick([this] { runTick(&SessionEngine::Stimulus_Timer); });
    m_timers.FI.setOnTick([this] { runTick(&SessionEngine::FI_Timer); });
    m_timers.Session_Timer.setOnTick([this] { runTick(&SessionEngine::Session_Timer_Timer); });
    m_timers.Hopper_Timer.setOnTick([this] { runTick(&SessionEngine::Hopper_Timer_Timer); });
    m_timers.Infrared.setOnTick([this] { runTick(&SessionEngine::Infrared_Timer); });
}

void SessionEngine::runTick(void (SessionEngine::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        m_with.window.reportFailure(error.what());
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

SessionSnapshot SessionEngine::snapshot() const {
    SessionSnapshot s;
    s.subject = m_state.Subject;
    s.phase = m_state.PhaseDescription;
    s.sessionNumber = m_state.SessionNumber.toInt();
    s.state = cycleState();
    s.nowMs = m_scheduler.nowMs();
    s.startedAtMs = m_startedAtMs;
    s.sessionMinutes = m_state.SessionDuration.toInt();
    s.trial = m_state.CurrentTrial.toInt();
    s.totalTrials = m_state.TotalTrials.toInt();
    s.rewards = m_state.TargetSPlus.toInt();
    s.target = m_state.TargetPecks.toInt() + m_state.PreTargetPecks.toInt();
    s.screen = s.target + m_state.NonTargetPecks.toInt() + m_state.PreNonTargetPecks.toInt();
    s.timeouts = m_state.Timeouts.toInt();
    s.headEntries = m_state.HopCheck.toInt();
    s.rowsWaiting = m_with.records.rowsWaiting();
    return s;
}

void SessionEngine::setStimulusPictures(const std::array<std::string, 9>& pictures) {
    m_state.StimPicture = pictures;
}

std::int32_t SessionEngine::hopperMilliseconds(Int16 HopperDuration) {
    // A 16-bit product, as the hopper timer has always taken it: above 32 s it overflows.
    return (HopperDuration * Int16(1000)).toInt();
}

void SessionEngine::load(const SessionSetUp& setUp) {
    const std::int32_t hopperMs = hopperMilliseconds(setUp.parameters.HopperDuration);
    const PhaseParameters& p = setUp.parameters;
    m_state.Subject = setUp.Subject;
    m_state.SessionNumber = setUp.SessionNumber;
    m_state.PhaseNumber = setUp.PhaseNumber;
    m_state.HardwareFree = setUp.HardwareFree;
    m_state.TotalTrials = p.TotalTrials;
    m_state.SessionDuration = p.SessionDuration;
    m_state.HeadDetect = p.HeadDetect;
    m_state.StimulusTotalCount = p.StimulusTotalCount;
    m_state.Instrumental = p.Instrumental;
    m_state.Pavlovian = p.Pavlovian;
    m_state.HopperDuration = p.HopperDuration;
    m_state.ResponseITI = p.ResponseITI;
    m_state.NoResponseITI = p.NoResponseITI;
    m_state.FIDuration = p.FIDuration;
    // Without hardware every inter-trial interval lasts 2 s, the first one included.
    m_state.ITITotalCount = setUp.HardwareFree ? Int16(2) : p.ResponseITI;
    m_timers.Hopper_Timer.setInterval(hopperMs);
    m_timers.FI.setInterval(p.FIDuration.toInt());
}

void SessionEngine::setUp(const std::string& subject, const std::string& phase, const std::string& dataFile) {
    m_state.Subject = subject;
    m_state.PhaseDescription = phase;
    m_state.NewDataFile = dataFile;
    m_setUp = true;
}

bool SessionEngine::mayBeginSession() const {
    return m_state.CurrentTrial == 0 && m_setUp && !m_ended;
}

void SessionEngine::BeginSession() {
    if (!mayBeginSession())
        return;
    m_state.CurrentTrial = 0;
    m_timers.Session_Timer.setEnabled(true);
    m_startedAtMs = m_scheduler.nowMs();
    publish(SessionEventKind::SessionStarted);
    EndTrial();
    // The instant rows measure "SessionTime" from, taken as key S is handled.
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
        for (platform::Timer* timer :
             {&m_timers.Stimulus, &m_timers.ITI, &m_timers.Hopper_Timer, &m_timers.Session_Timer})
            timer->setEnabled(false);
    } else {
        for (platform::Timer* timer : {&m_timers.Hopper_Timer, &m_timers.Session_Timer, &m_timers.Infrared,
                                       &m_timers.Stimulus, &m_timers.ITI, &m_timers.FI})
            timer->setEnabled(false);
    }
    m_with.window.hideWindow();
    m_with.display.setPositionTexts({"0", "0", "0", "0", "0", "0"});
    m_with.link.SendDisplayMessage();
    if (!byOperator && m_with.link.closeLink())
        publish(SessionEventKind::LinkDown, {}, 0, "closed at the session's end");
    m_with.records.retryRows();
    publish(SessionEventKind::SessionEnded, {}, 0,
            byOperator                                   ? "operator"
            : trigger == SessionEndTrigger::SessionClock ? "clock"
                                                         : "trials");
    m_with.window.showSummaryWindow();
}

} // namespace veltrum::engine
