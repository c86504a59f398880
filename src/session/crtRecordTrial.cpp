#include "results/Formats.h"
#include "results/RecoveryFile.h"
#include "session/crt.h"

#include <cstdlib>
#include <exception>
#include <utility>

namespace veltrum::session {

namespace {

// Seconds from an instant to a clock reading, both times of day with their fractions. A reading taken
// after midnight lies a day later than its difference says; a difference more negative than half a day
// is such a crossing.
double secondsSince(double instant, double reading) {
    double difference = reading - instant;
    if (difference < -43200.0)
        difference += 86400.0;
    return difference;
}

} // namespace

workbook::AppendRow crt::trialRow(Int16 ScreenIndex, Int16 TabletPosition) const {
    using workbook::AppendValue;
    const platform::CalendarDate today = m_services.clock.today();
    auto number = [](Int16 value) { return AppendValue::fromNumber(value.toDouble()); };
    const double sessionReading = m_services.clock.secondsSinceMidnight();
    const double trialReading = m_services.clock.secondsSinceMidnight();
    return {
        {"Subject", AppendValue::fromText(state.Subject)},
        {"Date", AppendValue::fromDate(today.year, today.month, today.day)},
        {"Session", number(state.SessionNumber)},
        {"Phase", number(state.PhaseNumber)},
        {"TrialType", number(state.TrialType)},
        {"Trial", number(state.CurrentTrial)},
        {"Ordinal", number(state.Ordinal)},
        {"SessionTime",
         AppendValue::fromText(results::formatTwoDecimals(secondsSince(state.StartInstant, sessionReading)))},
        {"TrialTime",
         AppendValue::fromText(results::formatTwoDecimals(secondsSince(state.TrialInstant, trialReading)))},
        {"Goal", number(state.GoalLocation)},
        {"Response", number(ScreenIndex > 0 ? ScreenIndex : TabletPosition)},
        {"Outcome", AppendValue::fromText(state.Outcome)},
        {"CorrectionTrial", AppendValue::fromNumber(0)},
    };
}

void crt::RecordTrial(Int16 ScreenIndex, Int16 TabletPosition) {
    // The row goes to the row writer, which commits rows in the order of their events; the chamber goes
    // on at once. A row that cannot be written waits behind the earlier ones, and the session carries on.
    m_rows.submit(trialRow(ScreenIndex, TabletPosition));
    if (!m_rowFailure.empty())
        showWaitingRowsNotice();
}

void crt::rowsCommitted(std::size_t count) {
    const std::size_t waiting = m_rows.waiting();
    for (std::size_t i = 0; i < count; ++i) {
        engine::SessionEvent event = m_engine.eventNow(engine::SessionEventKind::RowCommitted);
        event.rowsWaiting = waiting + (count - 1 - i);
        m_engine.events().publish(event);
    }
    if (m_rowFailure.empty())
        return;
    if (!m_rows.failure().empty()) {
        showWaitingRowsNotice(); // committed to the journal; the workbook itself still fails
        return;
    }
    m_rowFailure.clear();
    m_services.dialogs.showNotice("");
}

void crt::rowsFailed(const std::string& why) {
    m_rowFailure = why;
    // The messages of the workbook layer start with the file's path, which the notice names already.
    if (m_rowFailure.starts_with(state.NewDataFile + ": "))
        m_rowFailure.erase(0, state.NewDataFile.size() + 2);
    m_engine.publish(engine::SessionEventKind::RowFailed, {}, 0, m_rowFailure);
    showWaitingRowsNotice();
}

void crt::showWaitingRowsNotice() {
    // One notice, updated in place: a disk that stays full must not stack a box per row.
    m_services.dialogs.showNotice(waitingRowsText());
}

std::string crt::waitingRowsText() const {
    const std::size_t waiting = pendingRowCount();
    return std::to_string(waiting) + (waiting == 1 ? " trial row waits" : " trial rows wait") +
           " to be written to " + state.NewDataFile + ":\n" + m_rowFailure +
           "\n\nThe rows are kept and written, in order, as soon as the workbook can be written again. "
           "Free disk space or close any program that holds the workbook.";
}

engine::SessionSnapshot crt::snapshot() const {
    engine::SessionSnapshot s;
    const bool setUp = m_engine.isSetUp();
    s.subject = setUp ? state.Subject : Subject_In.text();
    s.phase = setUp ? state.PhaseDescription : Combo1.text();
    s.sessionNumber = state.SessionNumber.toInt();
    s.state = m_engine.cycleState();
    s.nowMs = m_services.scheduler.nowMs();
    s.startedAtMs = m_engine.startedAtMs();
    s.sessionMinutes = state.SessionDuration.toInt();
    s.trial = state.CurrentTrial.toInt();
    s.totalTrials = state.TotalTrials.toInt();
    s.rewards = state.TargetSPlus.toInt();
    s.target = state.TargetPecks.toInt() + state.PreTargetPecks.toInt();
    s.screen = s.target + state.NonTargetPecks.toInt() + state.PreNonTargetPecks.toInt();
    s.timeouts = state.Timeouts.toInt();
    s.headEntries = state.HopCheck.toInt();
    s.rowsCommitted = m_rows.committed();
    s.rowsWaiting = m_rows.waiting();
    s.linkConnected = m_services.socket.state() == platform::TabletSocket::Connected;
    s.tabletAddress = m_services.socket.peerAddress();
    s.lastTabletMessageAtMs = m_lastTabletMessageAtMs;
    return s;
}

void crt::retryWaitingRows() {
    m_rows.retry();
}

bool crt::settleWaitingRows() {
    const bool settled = m_rows.settle();
    if (settled && !m_rowFailure.empty()) {
        m_rowFailure.clear();
        m_services.dialogs.showNotice("");
    }
    return settled;
}

std::string crt::moveWaitingRowsToRecoveryFile() {
    if (pendingRowCount() == 0)
        return {};
    const std::size_t slash = state.NewDataFile.rfind('/');
    std::string stem = state.NewDataFile.substr(slash + 1);
    if (stem.size() > 4 && stem.ends_with(".xls"))
        stem.resize(stem.size() - 4);
    const char* home = std::getenv("HOME");
    std::vector<std::string> folders = m_recoveryFolders;
    if (folders.empty())
        folders = {state.NewDataFile.substr(0, slash), m_services.dataFolder, home ? home : "", "/var/tmp",
                   "/tmp"};
    // The rows leave the writer only once the recovery file holds them.
    const std::string path =
        results::writeRecoveryFile(m_rows.waitingRows(), stem + ".rows-not-in-workbook", folders);
    m_rows.takeWaiting();
    m_rowFailure.clear();
    m_services.dialogs.showNotice("");
    return path;
}

void crt::recoverRowJournals() {
    std::string told;
    for (const records::JournalRecovery& recovery : records().recoverEarlierRows(dataPath("Results"))) {
        if (!recovery.problem.empty())
            told += recovery.problem + "\n";
        else if (recovery.rowsAdded > 0)
            told += std::to_string(recovery.rowsAdded) +
                    (recovery.rowsAdded == 1 ? " trial row" : " trial rows") +
                    " committed by an earlier run but not yet in " + recovery.workbook +
                    " were added to it from its journal.\n";
    }
    if (!told.empty())
        m_services.dialogs.showNotice(told);
}

const std::vector<std::string>& crt::trialColumns() {
    static const std::vector<std::string> columns{
        "Subject",     "Date",      "Session", "Phase",    "TrialType", "Trial",          "Ordinal",
        "SessionTime", "TrialTime", "Goal",    "Response", "Outcome",   "CorrectionTrial"};
    return columns;
}

} // namespace veltrum::session
