// A session for the status page without a chamber: figures and events set by hand, published on the
// calling thread as the chamber's thread would.
#pragma once

#include "web/StatusService.h"

#include <string>

namespace veltrum::testing {

class DemoSession : public web::WatchedSession {
public:
    explicit DemoSession(std::string subject = "P101") {
        m_figures.subject = std::move(subject);
        m_figures.phase = "Auto";
        m_figures.sessionNumber = 4;
        m_figures.sessionMinutes = 30;
        m_figures.totalTrials = 60;
        m_figures.state = engine::CycleState::WaitingForStart;
    }

    engine::SessionEventBus::Subscription subscribe(engine::SessionEventListener listener) override {
        return m_events.subscribe(std::move(listener));
    }
    void unsubscribe(engine::SessionEventBus::Subscription subscription) override {
        m_events.unsubscribe(subscription);
    }
    engine::SessionSnapshot snapshot() const override { return m_figures; }

    void advance(std::int64_t ms) { m_figures.nowMs += ms; }
    void start() {
        m_figures.startedAtMs = m_figures.nowMs;
        m_figures.state = engine::CycleState::InterTrial;
        publish(engine::SessionEventKind::SessionStarted);
    }
    void beginTrial() {
        ++m_figures.trial;
        m_figures.state = engine::CycleState::Stimulus;
        publish(engine::SessionEventKind::TrialBegun);
    }
    // A peck at position 2 with the given outcome ("Reward", "S-", "NotGoal").
    void peck(const std::string& outcome) {
        ++m_figures.screen;
        if (outcome != "NotGoal")
            ++m_figures.target;
        if (outcome == "Reward")
            ++m_figures.rewards;
        ++m_figures.rowsCommitted;
        publish(engine::SessionEventKind::TouchScored, outcome);
        if (outcome == "Reward")
            publish(engine::SessionEventKind::HopperUp);
    }
    void timeout() {
        ++m_figures.timeouts;
        publish(engine::SessionEventKind::TrialTimeout, "Trial Timeout");
    }
    void end() {
        m_figures.state = engine::CycleState::Ended;
        publish(engine::SessionEventKind::SessionEnded, {}, "operator");
    }

private:
    void publish(engine::SessionEventKind kind, std::string outcome = {}, std::string detail = {}) {
        engine::SessionEvent e;
        e.kind = kind;
        e.atMs = m_figures.nowMs;
        e.trial = m_figures.trial;
        e.position = 2;
        e.outcome = std::move(outcome);
        e.detail = std::move(detail);
        m_events.publish(e);
    }

    engine::SessionEventBus m_events;
    engine::SessionSnapshot m_figures;
};

} // namespace veltrum::testing
