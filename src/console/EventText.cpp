#include "console/ConsoleModel.h"

#include <cstdio>

namespace veltrum::console {

using engine::SessionEventKind;

std::string sessionTimeText(std::int64_t atMs, std::int64_t startedAtMs) {
    if (startedAtMs < 0 || atMs < startedAtMs)
        return "--:--.-";
    const std::int64_t tenths = (atMs - startedAtMs) / 100;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

std::string cycleStateText(engine::CycleState state) {
    switch (state) {
    case engine::CycleState::SettingUp:
        return "setting up";
    case engine::CycleState::WaitingForStart:
        return "waiting for key S";
    case engine::CycleState::InterTrial:
        return "inter-trial interval";
    case engine::CycleState::Stimulus:
        return "pictures shown";
    case engine::CycleState::Food:
        return "food";
    case engine::CycleState::Ended:
        return "session over";
    }
    return {};
}

std::string eventText(const engine::SessionEvent& event) {
    const auto waiting = [&] { return " (" + std::to_string(event.rowsWaiting) + " waiting)"; };
    switch (event.kind) {
    case SessionEventKind::SessionStarted:
        return "Session started";
    case SessionEventKind::TrialBegun:
        return "Trial " + std::to_string(event.trial) + " begins";
    case SessionEventKind::StimulusOn:
        return "Pictures on";
    case SessionEventKind::StimulusOff:
        return "Pictures off";
    case SessionEventKind::TouchScored:
        return "Peck at " + std::to_string(event.position) + ": " + event.outcome;
    case SessionEventKind::HopperUp:
        return "Hopper up";
    case SessionEventKind::HopperDown:
        return "Hopper down";
    case SessionEventKind::HeadEntry:
        return "Head entry";
    case SessionEventKind::TrialTimeout:
        return "Trial " + std::to_string(event.trial) + " timed out";
    case SessionEventKind::RowCommitted:
        return "Row written" + waiting();
    case SessionEventKind::RowFailed:
        return "Row NOT written: " + event.detail + waiting();
    case SessionEventKind::LinkUp:
        return "Tablet connected from " + event.detail;
    case SessionEventKind::LinkDown:
        return event.detail.empty() ? "Tablet link LOST" : "Tablet link " + event.detail;
    case SessionEventKind::SessionEnded:
        return "Session ended (" + event.detail + ")";
    }
    return "Event";
}

} // namespace veltrum::console
