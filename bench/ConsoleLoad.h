// The operator's console open and updating during a benchmark: a console window on its own model, fed
// either by the real session's events or by a stand-in session that pecks many times a second.
#pragma once

#include "console/ConsoleModel.h"
#include "console_qt/ConsoleWindow.h"

#include <QTimer>

#include <memory>

namespace veltrum::bench {

class ConsoleLoad {
public:
    // Subscribes a console to `events`, with figures from `snapshot`, and shows its window.
    ConsoleLoad(engine::SessionEventBus& events, console::ConsoleModel::SnapshotProvider snapshot)
        : m_events(events)
        , m_model(std::move(snapshot))
        , m_window(m_model) {
        m_subscription = m_events.subscribe([this](const engine::SessionEvent& e) { m_model.onEvent(e); });
        m_window.show();
    }
    ~ConsoleLoad() { m_events.unsubscribe(m_subscription); }
    int renders() const { return m_window.renderCount(); }
    // Draws the session now, as the window's repaint timer would.
    void renderNow() { m_window.renderNow(); }

private:
    engine::SessionEventBus& m_events;
    console::ConsoleModel m_model;
    console_qt::ConsoleWindow m_window;
    engine::SessionEventBus::Subscription m_subscription = 0;
};

// A stand-in session for benchmarks without a chamber: every 50 ms a peck (and every tenth a food
// presentation and a trial), so the console has something to draw all the time.
class StandInSession {
public:
    StandInSession() {
        m_snapshot.subject = "P101";
        m_snapshot.phase = "Auto";
        m_snapshot.sessionMinutes = 30;
        m_snapshot.totalTrials = 1000;
        m_snapshot.state = engine::CycleState::Stimulus;
        m_tick.setInterval(50);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { step(); });
        publish(engine::SessionEventKind::SessionStarted, {});
        m_tick.start();
    }
    engine::SessionEventBus& events() { return m_events; }
    engine::SessionSnapshot snapshot() const { return m_snapshot; }

private:
    void step() {
        m_snapshot.nowMs += 50;
        ++m_count;
        if (m_count % 10 == 1) {
            ++m_snapshot.trial;
            publish(engine::SessionEventKind::TrialBegun, {});
        }
        ++m_snapshot.screen;
        ++m_snapshot.target;
        publish(engine::SessionEventKind::TouchScored, m_count % 10 == 0 ? "Reward" : "S-");
        if (m_count % 10 == 0) {
            ++m_snapshot.rewards;
            publish(engine::SessionEventKind::HopperUp, {});
        }
    }
    void publish(engine::SessionEventKind kind, std::string outcome) {
        engine::SessionEvent e;
        e.kind = kind;
        e.atMs = m_snapshot.nowMs;
        e.trial = m_snapshot.trial;
        e.position = 2;
        e.outcome = std::move(outcome);
        m_events.publish(e);
    }

    engine::SessionEventBus m_events;
    engine::SessionSnapshot m_snapshot;
    QTimer m_tick;
    int m_count = 0;
};

} // namespace veltrum::bench
