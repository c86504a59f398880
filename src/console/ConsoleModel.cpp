#include "console/ConsoleModel.h"

#include <utility>

namespace veltrum::console {

using engine::SessionEvent;
using engine::SessionEventKind;

namespace {

// The session closes the link itself when it ends; only other closings are a lost link.
constexpr std::string_view closedAtSessionEnd = "closed at the session's end";

} // namespace

PeckKind peckKind(std::string_view outcome) {
    for (std::string_view goal : {"Reward", "S-", "PreFIGoal", "PreFIS-"})
        if (outcome == goal)
            return PeckKind::Goal;
    for (std::string_view other : {"NotGoal", "PreFINotGoal"})
        if (outcome == other)
            return PeckKind::NonGoal;
    return PeckKind::NotCounted;
}

ConsoleModel::ConsoleModel(SnapshotProvider snapshot)
    : m_snapshot(std::move(snapshot)) {
    refresh();
}

void ConsoleModel::refresh() {
    if (m_snapshot)
        m_live.figures = m_snapshot();
}

void ConsoleModel::setPaused(bool paused) {
    if (paused == this->paused())
        return;
    if (paused)
        m_frozen = m_live;
    else
        m_frozen.reset();
    m_changed = true;
}

bool ConsoleModel::takeChanges() {
    return std::exchange(m_changed, false);
}

TrialResult* ConsoleModel::currentTrial() {
    return m_live.trials.empty() ? nullptr : &m_live.trials.back();
}

void ConsoleModel::onEvent(const SessionEvent& event) {
    addLine(event);
    switch (event.kind) {
    case SessionEventKind::SessionStarted:
        m_live.startedAtMs = event.atMs;
        break;
    case SessionEventKind::TrialBegun:
        if (event.trial > 0) {
            if (TrialResult* previous = currentTrial(); previous && *previous == TrialResult::Running)
                *previous = TrialResult::NoPeck;
            m_live.trials.resize(static_cast<std::size_t>(event.trial), TrialResult::NoPeck);
            m_live.trials.back() = TrialResult::Running;
        }
        break;
    case SessionEventKind::TouchScored:
        peck(event);
        break;
    case SessionEventKind::HopperUp:
        ++m_live.reinforcers;
        mark(event, MarkKind::Reinforcer);
        break;
    case SessionEventKind::HeadEntry:
        ++m_live.headEntries;
        break;
    case SessionEventKind::TrialTimeout:
        ++m_live.timeouts;
        mark(event, MarkKind::Timeout);
        if (TrialResult* trial = currentTrial(); trial && *trial == TrialResult::Running)
            *trial = TrialResult::NoPeck;
        break;
    case SessionEventKind::LinkUp:
        m_live.linkLost = false;
        break;
    case SessionEventKind::LinkDown:
        if (m_live.startedAtMs >= 0 && !m_live.ended && event.detail != closedAtSessionEnd) {
            m_live.linkLost = true;
            ++m_live.linkLosses;
            m_live.linkLostAtMs = event.atMs;
        }
        break;
    case SessionEventKind::SessionEnded:
        m_live.ended = true;
        if (TrialResult* trial = currentTrial(); trial && *trial == TrialResult::Running)
            *trial = TrialResult::NoPeck;
        break;
    default:
        break;
    }
    if (!paused())
        m_changed = true;
}

void ConsoleModel::peck(const SessionEvent& event) {
    const PeckKind kind = peckKind(event.outcome);
    if (kind == PeckKind::NotCounted)
        return;
    if (TrialResult* trial = currentTrial(); trial && *trial != TrialResult::Rewarded)
        *trial = event.outcome == "Reward" ? TrialResult::Rewarded : TrialResult::Pecked;
    CumulativeRecord& record = m_live.record;
    const std::int64_t at = m_live.startedAtMs >= 0 ? event.atMs - m_live.startedAtMs : 0;
    ++record.responses;
    ++record.pen;
    record.steps.push_back({at, record.pen});
    if (record.pen >= CumulativeRecord::height) {
        record.pen = 0;
        record.steps.push_back({at, 0});
    }
}

void ConsoleModel::mark(const SessionEvent& event, MarkKind kind) {
    if (m_live.startedAtMs < 0)
        return;
    m_live.record.marks.push_back({event.atMs - m_live.startedAtMs, m_live.record.pen, kind});
}

void ConsoleModel::addLine(const SessionEvent& event) {
    // Rows written without trouble are the rule: they show in the figures, not as lines.
    if (event.kind == SessionEventKind::RowCommitted && event.rowsWaiting == 0)
        return;
    const std::int64_t started =
        event.kind == SessionEventKind::SessionStarted ? event.atMs : m_live.startedAtMs;
    m_live.events.push_back({event.atMs, sessionTimeText(event.atMs, started) + "  " + eventText(event)});
    ++m_live.linesAdded;
    while (m_live.events.size() > eventLines)
        m_live.events.pop_front();
}

} // namespace veltrum::console
