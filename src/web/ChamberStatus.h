// The chamber's status as its pages and the scripts that read it see it: the session's figures, the last
// events in the operator's words, the cumulative record and the trial strip, as one JSON document, and
// what changed since as small updates (the events themselves, the figures when they changed, the lines,
// record steps and marks added, the trials from the first that changed). A page or veltrum-lab applies
// each update to the document it holds and has the same document as the chamber.
#pragma once

#include "console/ConsoleModel.h"
#include "engine/SessionEvents.h"
#include "engine/SessionSnapshot.h"

#include <QJsonObject>

#include <cstdint>
#include <optional>
#include <vector>

namespace veltrum::web {

// A session event as the chamber published it, with the wall-clock moment it did (milliseconds since
// the epoch), so a page can tell how long the event took to reach it.
struct PublishedEvent {
    engine::SessionEvent event;
    std::int64_t publishedAtMs = 0;
};

class ChamberStatus {
public:
    ChamberStatus();

    // Takes the events published since the last call, in order, and the session's latest figures (none
    // when no newer were published). Returns the update to send: empty when nothing a page shows changed.
    QJsonObject take(const std::vector<PublishedEvent>& events,
                     const std::optional<engine::SessionSnapshot>& figures);
    // The whole document.
    QJsonObject whole() const;

private:
    QJsonObject sessionJson() const;

    console::ConsoleModel m_model;
    engine::SessionSnapshot m_figures;
    engine::SessionSnapshot m_sentFigures;
    QJsonObject m_sentSession;
    std::uint64_t m_eventCount = 0;
};

QJsonObject figuresJson(const engine::SessionSnapshot& figures);
// The name of an event's kind as the event stream gives it ("TouchScored").
const char* eventKindName(engine::SessionEventKind kind);
// Applies an update to a whole document, as the pages do.
void applyUpdate(QJsonObject& status, const QJsonObject& update);

} // namespace veltrum::web
