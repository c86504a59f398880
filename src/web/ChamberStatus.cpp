#include "web/ChamberStatus.h"

#include "Version.h"

#include <QJsonArray>
#include <QString>

#include <algorithm>
#include <tuple>

namespace veltrum::web {

using engine::SessionSnapshot;

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

const char* stateName(engine::CycleState state) {
    switch (state) {
    case engine::CycleState::SettingUp:
        return "settingUp";
    case engine::CycleState::WaitingForStart:
        return "waitingForStart";
    case engine::CycleState::InterTrial:
        return "interTrial";
    case engine::CycleState::Stimulus:
        return "stimulus";
    case engine::CycleState::Food:
        return "food";
    case engine::CycleState::Ended:
        return "ended";
    }
    return "";
}

char trialLetter(console::TrialResult result) {
    switch (result) {
    case console::TrialResult::Running:
        return '*';
    case console::TrialResult::Rewarded:
        return 'R';
    case console::TrialResult::Pecked:
        return 'P';
    case console::TrialResult::NoPeck:
        return 'N';
    }
    return 'N';
}

QString trialLetters(const std::vector<console::TrialResult>& trials, std::size_t from) {
    QString letters;
    for (std::size_t i = from; i < trials.size(); ++i)
        letters += QLatin1Char(trialLetter(trials[i]));
    return letters;
}

QJsonArray stepJson(const console::RecordStep& step) {
    return {static_cast<qint64>(step.atMs), step.height};
}

QJsonArray markJson(const console::RecordMark& mark) {
    return {static_cast<qint64>(mark.atMs), mark.height,
            mark.kind == console::MarkKind::Reinforcer ? QStringLiteral("food") : QStringLiteral("timeout")};
}

QJsonObject lineJson(const console::EventLine& line) {
    return {{QStringLiteral("atMs"), static_cast<qint64>(line.atMs)},
            {QStringLiteral("text"), text(line.text)}};
}

QJsonObject eventJson(const PublishedEvent& published, std::uint64_t number) {
    const engine::SessionEvent& e = published.event;
    return {{QStringLiteral("number"), static_cast<qint64>(number)},
            {QStringLiteral("kind"), QLatin1String(eventKindName(e.kind))},
            {QStringLiteral("atMs"), static_cast<qint64>(e.atMs)},
            {QStringLiteral("trial"), e.trial},
            {QStringLiteral("position"), e.position},
            {QStringLiteral("outcome"), text(e.outcome)},
            {QStringLiteral("detail"), text(e.detail)},
            {QStringLiteral("rowsWaiting"), static_cast<qint64>(e.rowsWaiting)},
            {QStringLiteral("text"), text(console::eventText(e))},
            {QStringLiteral("publishedAt"), static_cast<qint64>(published.publishedAtMs)}};
}

// The figures as a page shows them: the clock counts in whole seconds, so a figure that changed only in
// its milliseconds is not sent again.
bool sameOnThePage(const SessionSnapshot& a, const SessionSnapshot& b) {
    const auto shown = [](const SessionSnapshot& s) {
        return std::tie(s.subject, s.phase, s.sessionNumber, s.state, s.startedAtMs, s.sessionMinutes,
                        s.trial, s.totalTrials, s.rewards, s.target, s.screen, s.timeouts, s.headEntries,
                        s.rowsCommitted, s.rowsWaiting, s.linkConnected, s.tabletAddress,
                        s.lastTabletMessageAtMs);
    };
    return shown(a) == shown(b) && a.nowMs / 1000 == b.nowMs / 1000;
}

} // namespace

const char* eventKindName(engine::SessionEventKind kind) {
    using K = engine::SessionEventKind;
    switch (kind) {
    case K::SessionStarted:
        return "SessionStarted";
    case K::TrialBegun:
        return "TrialBegun";
    case K::StimulusOn:
        return "StimulusOn";
    case K::StimulusOff:
        return "StimulusOff";
    case K::TouchScored:
        return "TouchScored";
    case K::HopperUp:
        return "HopperUp";
    case K::HopperDown:
        return "HopperDown";
    case K::HeadEntry:
        return "HeadEntry";
    case K::TrialTimeout:
        return "TrialTimeout";
    case K::RowCommitted:
        return "RowCommitted";
    case K::RowFailed:
        return "RowFailed";
    case K::LinkUp:
        return "LinkUp";
    case K::LinkDown:
        return "LinkDown";
    case K::SessionEnded:
        return "SessionEnded";
    }
    return "Event";
}

QJsonObject figuresJson(const SessionSnapshot& f) {
    const bool started = f.startedAtMs >= 0;
    const std::int64_t elapsed = started ? std::max<std::int64_t>(0, f.nowMs - f.startedAtMs) : 0;
    const std::int64_t length = std::int64_t(f.sessionMinutes) * 60000;
    QJsonObject link{{QStringLiteral("connected"), f.linkConnected},
                     {QStringLiteral("address"), text(f.tabletAddress)},
                     {QStringLiteral("lastMessageAgoMs"),
                      static_cast<qint64>(f.linkConnected && f.lastTabletMessageAtMs >= 0
                                              ? f.nowMs - f.lastTabletMessageAtMs
                                              : -1)}};
    return {{QStringLiteral("subject"), text(f.subject)},
            {QStringLiteral("phase"), text(f.phase)},
            {QStringLiteral("session"), f.sessionNumber},
            {QStringLiteral("state"), QLatin1String(stateName(f.state))},
            {QStringLiteral("stateText"), text(console::cycleStateText(f.state))},
            {QStringLiteral("nowMs"), static_cast<qint64>(f.nowMs)},
            {QStringLiteral("startedAtMs"), static_cast<qint64>(f.startedAtMs)},
            {QStringLiteral("sessionMinutes"), f.sessionMinutes},
            {QStringLiteral("elapsedMs"), static_cast<qint64>(elapsed)},
            {QStringLiteral("timeLeftMs"), static_cast<qint64>(std::max<std::int64_t>(0, length - elapsed))},
            {QStringLiteral("trial"), f.trial},
            {QStringLiteral("totalTrials"), f.totalTrials},
            {QStringLiteral("rewards"), f.rewards},
            {QStringLiteral("goalPecks"), f.target},
            {QStringLiteral("nonGoalPecks"), f.screen - f.target},
            {QStringLiteral("timeouts"), f.timeouts},
            {QStringLiteral("headEntries"), f.headEntries},
            {QStringLiteral("rowsWritten"), static_cast<qint64>(f.rowsCommitted)},
            {QStringLiteral("rowsWaiting"), static_cast<qint64>(f.rowsWaiting)},
            {QStringLiteral("link"), link}};
}

ChamberStatus::ChamberStatus()
    : m_model({}) {
    m_sentSession = sessionJson();
}

QJsonObject ChamberStatus::sessionJson() const {
    const console::ConsoleState& s = m_model.live();
    return {{QStringLiteral("started"), s.startedAtMs >= 0},
            {QStringLiteral("ended"), s.ended},
            {QStringLiteral("linkLost"), s.linkLost},
            {QStringLiteral("linkLosses"), s.linkLosses},
            {QStringLiteral("linkLostAtMs"), static_cast<qint64>(s.linkLostAtMs)},
            {QStringLiteral("reinforcers"), s.reinforcers}};
}

QJsonObject ChamberStatus::whole() const {
    const console::ConsoleState& s = m_model.live();
    QJsonArray lines;
    for (const console::EventLine& line : s.events)
        lines.append(lineJson(line));
    QJsonArray steps;
    for (const console::RecordStep& step : s.record.steps)
        steps.append(stepJson(step));
    QJsonArray marks;
    for (const console::RecordMark& mark : s.record.marks)
        marks.append(markJson(mark));
    return {
        {QStringLiteral("program"), QStringLiteral("veltrum")},
        {QStringLiteral("version"), QStringLiteral(VELTRUM_VERSION)},
        {QStringLiteral("figures"), figuresJson(m_figures)},
        {QStringLiteral("session"), sessionJson()},
        {QStringLiteral("eventCount"), static_cast<qint64>(m_eventCount)},
        {QStringLiteral("lines"), lines},
        {QStringLiteral("record"), QJsonObject{{QStringLiteral("height"), console::CumulativeRecord::height},
                                               {QStringLiteral("steps"), steps},
                                               {QStringLiteral("marks"), marks}}},
        {QStringLiteral("trials"), trialLetters(s.trials, 0)}};
}

QJsonObject ChamberStatus::take(const std::vector<PublishedEvent>& events,
                                const std::optional<SessionSnapshot>& figures) {
    const console::ConsoleState& s = m_model.live();
    const std::size_t steps = s.record.steps.size();
    const std::size_t marks = s.record.marks.size();
    const std::uint64_t lines = s.linesAdded;
    const std::vector<console::TrialResult> trials = s.trials;
    QJsonObject update;
    if (!events.empty()) {
        QJsonArray published;
        for (const PublishedEvent& event : events) {
            m_model.onEvent(event.event);
            published.append(eventJson(event, ++m_eventCount));
        }
        update.insert(QStringLiteral("events"), published);
        update.insert(QStringLiteral("eventCount"), static_cast<qint64>(m_eventCount));
    }
    if (figures)
        m_figures = *figures;
    if (!sameOnThePage(m_figures, m_sentFigures)) {
        update.insert(QStringLiteral("figures"), figuresJson(m_figures));
        m_sentFigures = m_figures;
    }
    if (events.empty())
        return update;

    if (QJsonObject session = sessionJson(); session != m_sentSession) {
        update.insert(QStringLiteral("session"), session);
        m_sentSession = session;
    }
    if (const std::uint64_t added = s.linesAdded - lines; added > 0) {
        QJsonArray newLines;
        const std::size_t shown = std::min<std::size_t>(added, s.events.size());
        for (std::size_t i = s.events.size() - shown; i < s.events.size(); ++i)
            newLines.append(lineJson(s.events[i]));
        update.insert(QStringLiteral("lines"), newLines);
    }
    if (s.record.steps.size() > steps) {
        QJsonArray added;
        for (std::size_t i = steps; i < s.record.steps.size(); ++i)
            added.append(stepJson(s.record.steps[i]));
        update.insert(QStringLiteral("steps"), added);
    }
    if (s.record.marks.size() > marks) {
        QJsonArray added;
        for (std::size_t i = marks; i < s.record.marks.size(); ++i)
            added.append(markJson(s.record.marks[i]));
        update.insert(QStringLiteral("marks"), added);
    }
    if (s.trials != trials) {
        std::size_t from = 0;
        while (from < trials.size() && from < s.trials.size() && trials[from] == s.trials[from])
            ++from;
        update.insert(QStringLiteral("trialsFrom"), static_cast<qint64>(from));
        update.insert(QStringLiteral("trialsTail"), trialLetters(s.trials, from));
    }
    return update;
}

void applyUpdate(QJsonObject& status, const QJsonObject& update) {
    for (const char* replaced : {"figures", "session", "eventCount"}) {
        const QString key = QLatin1String(replaced);
        if (update.contains(key))
            status.insert(key, update.value(key));
    }
    if (update.contains(QStringLiteral("lines"))) {
        QJsonArray lines = status.value(QStringLiteral("lines")).toArray();
        for (const QJsonValue& line : update.value(QStringLiteral("lines")).toArray())
            lines.append(line);
        while (lines.size() > qsizetype(console::ConsoleModel::eventLines))
            lines.removeFirst();
        status.insert(QStringLiteral("lines"), lines);
    }
    if (update.contains(QStringLiteral("steps")) || update.contains(QStringLiteral("marks"))) {
        QJsonObject record = status.value(QStringLiteral("record")).toObject();
        for (const char* appended : {"steps", "marks"}) {
            const QString key = QLatin1String(appended);
            QJsonArray all = record.value(key).toArray();
            for (const QJsonValue& value : update.value(key).toArray())
                all.append(value);
            record.insert(key, all);
        }
        status.insert(QStringLiteral("record"), record);
    }
    if (update.contains(QStringLiteral("trialsTail"))) {
        const auto from = static_cast<qsizetype>(update.value(QStringLiteral("trialsFrom")).toInteger());
        status.insert(QStringLiteral("trials"), status.value(QStringLiteral("trials")).toString().left(from) +
                                                    update.value(QStringLiteral("trialsTail")).toString());
    }
}

} // namespace veltrum::web
