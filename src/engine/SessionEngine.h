// The session engine: the whole session (its set-up from the phase's parameters, the operator's keys,
// trials begun and ended, the stimulus period, scoring, the food period, the end of the session) on its
// timers and session state, acting on the collaborators it is given and publishing what happens to any
// number of listeners. It knows no window and no Qt.
#pragma once

#include "engine/Collaborators.h"
#include "engine/SessionEvents.h"
#include "engine/SessionSnapshot.h"
#include "engine/SessionState.h"
#include "platform/Clock.h"
#include "platform/Scheduler.h"
#include "platform/Timer.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltrum::engine {

// What ended a session: the last trial's end, the last trial's timeout, the session clock, or the
// operator leaving it (key E).
enum class SessionEndTrigger { TrialEnd, StimulusTimeout, SessionClock, Operator };

// The trial cycle's timers: 1000, 1000, 0, 60000, 4000 and 100 ms, disabled until used.
struct SessionTimers {
    SessionTimers(platform::Scheduler& scheduler);
    platform::Timer ITI;
    platform::Timer Stimulus;
    platform::Timer FI;
    platform::Timer Session_Timer;
    platform::Timer Hopper_Timer;
    platform::Timer Infrared;
};

// The engine owns the session: its state and timers are its own, and what happens to them happens through
// the commands below (set-up, the operator's keys, touches) and the timers' ticks. Views read the state,
// the timers and a snapshot, and listen to the events.
class SessionEngine {
public:
    SessionEngine(platform::Scheduler& scheduler, platform::Clock& clock, Collaborators collaborators);
    SessionEngine(const SessionEngine&) = delete;
    SessionEngine& operator=(const SessionEngine&) = delete;

    const SessionState& state() const { return m_state; }
    const SessionTimers& timers() const { return m_timers; }
    SessionEventBus& events() { return m_events; }
    // The engine's figures now; the rows committed and the tablet's link are the window's to add.
    SessionSnapshot snapshot() const;
    bool isSetUp() const { return m_setUp; }
    bool hasEnded() const { return m_ended; }
    // When key S began the session, on the scheduler's clock; -1 before.
    std::int64_t startedAtMs() const { return m_startedAtMs; }
    // Where the cycle stands, for views.
    CycleState cycleState() const;

    // Set-up, before Start. The picture file of each stimulus number 1..7 (0 and 8 stay empty).
    void setStimulusPictures(const std::array<std::string, 9>& pictures);
    // Takes what the set-up panel loaded; the phase's parameters set the hopper and fixed-interval timers,
    // and the first inter-trial interval (2 s without hardware). Throws forms::OverflowError, having
    // changed nothing, when the hopper time does not fit the hopper timer.
    void load(const SessionSetUp& setUp);
    // The hopper timer's interval for a hopper time in seconds; throws forms::OverflowError above 32 s.
    static std::int32_t hopperMilliseconds(Int16 HopperDuration);
    // Start has fixed subject, phase and data workbook: key S may begin the session.
    void setUp(const std::string& subject, const std::string& phase, const std::string& dataFile);

    // Key S: only a session set up and not yet begun may begin.
    bool mayBeginSession() const;
    // The minute clock runs, the first inter-trial interval begins, and rows measure "SessionTime" from now.
    void BeginSession();
    // The shaping keys F R U D H L I P B (either case) act on the session and mark it; false for any
    // other key.
    bool applyShapingKey(char key);
    // The end of a session, whatever ended it (key E: SessionEndTrigger::Operator); runs once.
    void EndSession(SessionEndTrigger trigger);
    // Scores a touch on screen slot ScreenIndex or tablet position TabletPosition (the other 0).
    void ScoreResponse(Int16& ScreenIndex, Int16& TabletPosition);

    // An event stamped with the scheduler's time, the trial under way and the rows waiting.
    SessionEvent eventNow(SessionEventKind kind) const;
    void publish(SessionEventKind kind, std::string outcome = {}, int position = 0, std::string detail = {});

private:
    // Trial cycle and stimulus display.
    void EndTrial();
    void BeginTrial();
    void ITI_Timer();
    void Stimulus_Timer();
    void FI_Timer();
    void Session_Timer_Timer();
    void StimulusOn();
    void StimulusOff();
    // Hopper and head-entry sensor.
    void HopperUp();
    void HopperDown();
    void InterTrialOutputOn();
    void OutputsOff();
    void Hopper_Timer_Timer();
    void Infrared_Timer();

    // Runs a timer's handler; a failure is reported to the operator and the session carries on.
    void runTick(void (SessionEngine::*handler)());
    void setPositionTexts();
    std::int32_t roundedSecondsSinceMidnight() const;

    platform::Scheduler& m_scheduler;
    platform::Clock& m_clock;
    Collaborators m_with;
    SessionTimers m_timers;
    SessionState m_state;
    SessionEventBus m_events;
    bool m_setUp = false;
    bool m_ended = false;
    std::int64_t m_startedAtMs = -1;
    bool m_hopperUp = false;
    bool m_stimulusShown = false;
};

} // namespace veltrum::engine
