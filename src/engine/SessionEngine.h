// The session engine: the trial cycle (trials begun and ended, the stimulus period, scoring, the food
// period, the end of the session) on its timers and session state, acting on the collaborators it is
// given and publishing what happens to any number of listeners. It knows no window and no Qt.
#pragma once

#include "engine/Collaborators.h"
#include "engine/SessionEvents.h"
#include "engine/SessionSnapshot.h"
#include "engine/SessionState.h"
#include "platform/Clock.h"
#include "platform/Scheduler.h"
#include "platform/Timer.h"

#include <cstdint>
#include <string>

namespace veltrum::engine {

// What ended a session: the last trial's end, the last trial's timeout, the session clock, or the
// operator leaving it (key E).
enum class SessionEndTrigger { TrialEnd, StimulusTimeout, SessionClock, Operator };

class SessionEngine {
public:
    SessionEngine(platform::Scheduler& scheduler, platform::Clock& clock, Collaborators collaborators);
    SessionEngine(const SessionEngine&) = delete;
    SessionEngine& operator=(const SessionEngine&) = delete;

    // The trial cycle's timers: 1000, 1000, 0, 60000, 4000 and 100 ms, disabled until used.
    platform::Timer ITI;
    platform::Timer Stimulus;
    platform::Timer FI;
    platform::Timer Session_Timer;
    platform::Timer Hopper_Timer;
    platform::Timer Infrared;

    // The session state; the window model fills its set-up part (subject, phase, parameters).
    SessionState& state() { return m_state; }
    const SessionState& state() const { return m_state; }
    SessionEventBus& events() { return m_events; }

    // Start has fixed subject, phase and schedule: key S may begin the session.
    void setUp() { m_setUp = true; }
    bool isSetUp() const { return m_setUp; }
    bool hasEnded() const { return m_ended; }
    // When key S began the session, on the scheduler's clock; -1 before.
    std::int64_t startedAtMs() const { return m_startedAtMs; }
    // Where the cycle stands, for views.
    CycleState cycleState() const;

    // Key S: the minute clock runs and the first inter-trial interval begins.
    void BeginSession();
    // The instant rows measure "SessionTime" from, taken as key S is handled.
    void markSessionStart();

    // Trial cycle and stimulus display.
    void EndTrial();
    void BeginTrial();
    // The end of a session, whatever ended it; runs once.
    void EndSession(SessionEndTrigger trigger);
    void ITI_Timer();
    void Stimulus_Timer();
    void FI_Timer();
    void Session_Timer_Timer();
    void StimulusOn();
    void StimulusOff();
    // Scores a touch on screen slot ScreenIndex or tablet position TabletPosition (the other 0).
    void ScoreResponse(Int16& ScreenIndex, Int16& TabletPosition);

    // Hopper and head-entry sensor.
    void HopperUp();
    void HopperDown();
    void InterTrialOutputOn();
    void OutputsOff();
    void Hopper_Timer_Timer();
    void Infrared_Timer();

    // An event stamped with the scheduler's time, the trial under way and the rows waiting.
    SessionEvent eventNow(SessionEventKind kind) const;
    void publish(SessionEventKind kind, std::string outcome = {}, int position = 0, std::string detail = {});

private:
    // Runs a timer's handler; a failure is reported to the operator and the session carries on.
    void runTick(void (SessionEngine::*handler)());
    void setPositionTexts();
    std::int32_t roundedSecondsSinceMidnight() const;

    platform::Scheduler& m_scheduler;
    platform::Clock& m_clock;
    Collaborators m_with;
    SessionState m_state;
    SessionEventBus m_events;
    bool m_setUp = false;
    bool m_ended = false;
    std::int64_t m_startedAtMs = -1;
    bool m_hopperUp = false;
    bool m_stimulusShown = false;
};

} // namespace veltrum::engine
