// What happens in a session, published by the engine in the order it happens, to any number of
// listeners the engine does not know (the operator's console, the row writer, tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace veltrum::engine {

enum class SessionEventKind {
    SessionStarted, // key S: the minute clock runs
    TrialBegun,     // trial = the trial now under way
    StimulusOn,     // the trial's pictures are shown (screen and tablet)
    StimulusOff,    // they are removed
    TouchScored,    // position, outcome ("Reward", "S-", "PreFIGoal", "PreFIS-", "NotGoal", ...)
    HopperUp,
    HopperDown,
    HeadEntry,    // the sensor saw a head in the hopper opening while food was up
    TrialTimeout, // the stimulus period ran out: outcome "Trial Timeout"
    RowCommitted, // a trial row is durable in the session workbook; rowsWaiting after it
    RowFailed,    // a trial row could not be written yet (detail: why); it waits, in order
    LinkUp,       // a tablet connected (detail: its address)
    LinkDown,     // the tablet went away
    SessionEnded, // the session is over (detail: "trials", "clock" or "operator")
};

struct SessionEvent {
    SessionEventKind kind = SessionEventKind::SessionStarted;
    std::int64_t atMs = 0;       // the scheduler's clock when it happened
    int trial = 0;               // CurrentTrial when it happened
    int position = 0;            // TouchScored: the position touched, 1 to 6 (other values as received)
    std::string outcome;         // TouchScored, TrialTimeout
    std::string detail;          // RowFailed, LinkUp, SessionEnded
    std::size_t rowsWaiting = 0; // RowCommitted, RowFailed: rows not yet committed after this event
};

using SessionEventListener = std::function<void(const SessionEvent&)>;

// Listeners are called in the order they subscribed, synchronously, on the chamber's thread: a listener
// must return at once (record the event, schedule a repaint), never wait for a disk or a person.
class SessionEventBus {
public:
    using Subscription = std::size_t;

    Subscription subscribe(SessionEventListener listener) {
        m_listeners.emplace_back(++m_last, std::move(listener));
        return m_last;
    }
    void unsubscribe(Subscription id) {
        for (auto it = m_listeners.begin(); it != m_listeners.end(); ++it)
            if (it->first == id) {
                m_listeners.erase(it);
                return;
            }
    }
    void publish(const SessionEvent& event) const {
        // A copy: a listener may subscribe or unsubscribe while being told.
        const auto listeners = m_listeners;
        for (const auto& [id, listener] : listeners)
            listener(event);
    }

private:
    std::vector<std::pair<Subscription, SessionEventListener>> m_listeners;
    Subscription m_last = 0;
};

} // namespace veltrum::engine
