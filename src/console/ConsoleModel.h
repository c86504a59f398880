// What the operator's console shows of a session: its figures, the last events as text, the cumulative
// record, a strip of trial outcomes and the tablet link, fed by the session's events and snapshots.
#pragma once

#include "engine/SessionEvents.h"
#include "engine/SessionSnapshot.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::console {

// How a scored touch counts: a goal peck ("Target"), another counted peck, or not a peck at all
// (between trials, outside the pictures, while touches are not scored).
enum class PeckKind { Goal, NonGoal, NotCounted };
PeckKind peckKind(std::string_view outcome);

// A trial as the outcome strip shows it.
enum class TrialResult {
    Running,  // under way
    Rewarded, // a touch was rewarded
    Pecked,   // counted pecks, none rewarded
    NoPeck,   // over without a counted peck
};

// The pen of a cumulative recorder: one step up per counted peck over session time; at `height` pecks it
// returns to the bottom and goes on from there.
struct RecordStep {
    std::int64_t atMs = 0; // session time
    int height = 0;        // the pen's height after the step, 0 to CumulativeRecord::height
};
enum class MarkKind { Reinforcer, Timeout };
struct RecordMark {
    std::int64_t atMs = 0;
    int height = 0; // the pen's height when it happened
    MarkKind kind = MarkKind::Reinforcer;
};
struct CumulativeRecord {
    static constexpr int height = 50;
    std::vector<RecordStep> steps; // a return to the bottom is a step to height 0 at the same moment
    std::vector<RecordMark> marks; // reinforcers (each food presentation) and trial timeouts
    int responses = 0;             // counted pecks, goal and non-goal
    int pen = 0;                   // the pen's height now
};

struct EventLine {
    std::int64_t atMs = 0; // the scheduler's clock
    std::string text;      // its time in the session and what happened
};

struct ConsoleState {
    engine::SessionSnapshot figures;
    std::int64_t startedAtMs = -1; // from the session's start event; -1 before
    bool ended = false;
    std::deque<EventLine> events; // the last `eventLines`, oldest first
    std::uint64_t linesAdded = 0; // every line ever added, so a view knows when the list changed
    CumulativeRecord record;
    std::vector<TrialResult> trials; // trial k at index k - 1
    int reinforcers = 0;             // food presentations
    int timeouts = 0;
    int headEntries = 0;
    // The tablet went away while the session ran (not the session's own closing of the link).
    bool linkLost = false;
    int linkLosses = 0;
    std::int64_t linkLostAtMs = -1;
};

class ConsoleModel {
public:
    static constexpr std::size_t eventLines = 20;
    using SnapshotProvider = std::function<engine::SessionSnapshot()>;

    explicit ConsoleModel(SnapshotProvider snapshot);

    // Takes one event of the session; cheap: it is called on the chamber's thread as things happen.
    void onEvent(const engine::SessionEvent& event);
    // Reads the session's figures now (the view does this when it repaints, never on an event).
    void refresh();

    // What the console shows: the live state, or while paused the state as it was when paused.
    const ConsoleState& shown() const { return m_frozen ? *m_frozen : m_live; }
    const ConsoleState& live() const { return m_live; }
    // Pausing freezes what is shown so the operator can look back; events are still taken.
    void setPaused(bool paused);
    bool paused() const { return m_frozen.has_value(); }

    // True when something changed since the last call; the view repaints only then.
    bool takeChanges();

private:
    void addLine(const engine::SessionEvent& event);
    void peck(const engine::SessionEvent& event);
    void mark(const engine::SessionEvent& event, MarkKind kind);
    TrialResult* currentTrial();

    SnapshotProvider m_snapshot;
    ConsoleState m_live;
    std::optional<ConsoleState> m_frozen;
    bool m_changed = true;
};

// "12:34.5": session time of a moment, minutes and seconds with tenths; "--:--.-" before the start.
std::string sessionTimeText(std::int64_t atMs, std::int64_t startedAtMs);
// The trial cycle's state in the operator's words ("pictures shown").
std::string cycleStateText(engine::CycleState state);
// What happened, in the operator's words ("Peck at 2: Reward", "Tablet link LOST").
std::string eventText(const engine::SessionEvent& event);

} // namespace veltrum::console
