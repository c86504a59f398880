#include "SessionRows.h"

#include "results/Formats.h"

#include <cstdio>
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

SessionRows::SessionRows(const Services& services, engine::SessionEngine& engine)
    : Data2(services.fileSystem, "Data2")
    , Data3(services.fileSystem, "Data3")
    , m_services(services)
    , m_engine(engine)
    , m_rows(services.commitRunner ? *services.commitRunner : m_inlineCommits) {
    // Saved sessions are summarised in the summary workbook's sheet All.
    Data3.setDatabaseName(m_services.dataFolder + "/Results/Results_Summary.xls");
    Data3.setRecordSource("All$");
    m_rows.setFlushInterval(services.scheduler, services.rowsToWorkbookEveryMs);
    m_rows.setListener({[this](std::size_t count) { rowsCommitted(count); },
                        [this](const std::string& why) { rowsFailed(why); },
                        [this] {
                            if (m_rowsChanged)
                                m_rowsChanged();
                        }});
}

SessionRows::~SessionRows() {
    // The writer may still report while it goes; the engine it would tell is gone already.
    m_rows.setListener({[](std::size_t) {}, [](const std::string&) {}, [] {}});
}

const std::vector<std::string>& SessionRows::trialColumns() {
    static const std::vector<std::string> columns{
        "Subject",     "Date",      "Session", "Phase",    "TrialType", "Trial",          "Ordinal",
        "SessionTime", "TrialTime", "Goal",    "Response", "Outcome",   "CorrectionTrial"};
    return columns;
}

void SessionRows::recoverEarlierRows(const std::string& resultsFolder) {
    std::string told;
    for (const records::JournalRecovery& recovery : m_services.records->recoverEarlierRows(resultsFolder)) {
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

void SessionRows::open(const std::string& path) {
    Data2.setDatabaseName(path);
    Data2.setRecordSource("Data$");
    m_rows.open(m_services.records->trialRows(path));
}

workbook::AppendRow SessionRows::trialRow(Int16 ScreenIndex, Int16 TabletPosition) const {
    using workbook::AppendValue;
    const engine::SessionState& state = m_engine.state();
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

void SessionRows::RecordTrial(Int16 ScreenIndex, Int16 TabletPosition) {
    // The row goes to the row writer, which commits rows in the order of their events; the chamber goes
    // on at once. A row that cannot be written waits behind the earlier ones, and the session carries on.
    m_rows.submit(trialRow(ScreenIndex, TabletPosition));
    if (!m_rowFailure.empty())
        showWaitingRowsNotice();
}

void SessionRows::rowsCommitted(std::size_t count) {
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

void SessionRows::rowsFailed(const std::string& why) {
    m_rowFailure = why;
    // The messages of the workbook layer start with the file's path, which the notice names already.
    const std::string& workbook = m_engine.state().NewDataFile;
    if (m_rowFailure.starts_with(workbook + ": "))
        m_rowFailure.erase(0, workbook.size() + 2);
    m_engine.publish(engine::SessionEventKind::RowFailed, {}, 0, m_rowFailure);
    showWaitingRowsNotice();
}

void SessionRows::showWaitingRowsNotice() {
    // One notice, updated in place: a disk that stays full must not stack a box per row.
    m_services.dialogs.showNotice(waitingRowsText());
}

std::string SessionRows::waitingRowsText() const {
    const std::size_t waiting = pendingRowCount();
    return std::to_string(waiting) + (waiting == 1 ? " trial row waits" : " trial rows wait") +
           " to be written to " + m_engine.state().NewDataFile + ":\n" + m_rowFailure +
           "\n\nThe rows are kept and written, in order, as soon as the workbook can be written again. "
           "Free disk space or close any program that holds the workbook.";
}

bool SessionRows::settleWaitingRows() {
    const bool settled = m_rows.settle();
    if (settled && !m_rowFailure.empty()) {
        m_rowFailure.clear();
        m_services.dialogs.showNotice("");
    }
    return settled;
}

std::string SessionRows::moveWaitingRowsToRecoveryFile() {
    if (pendingRowCount() == 0)
        return {};
    const std::string& workbook = m_engine.state().NewDataFile;
    const char* home = std::getenv("HOME");
    std::vector<std::string> folders = m_recoveryFolders;
    if (folders.empty())
        folders = {workbook.substr(0, workbook.rfind('/')), m_services.dataFolder, home ? home : "",
                   "/var/tmp", "/tmp"};
    // The rows leave the writer only once the recovery file holds them.
    const std::string path = m_services.records->writeRecoveryFile(m_rows.waitingRows(), workbook, folders);
    m_rows.takeWaiting();
    m_rowFailure.clear();
    m_services.dialogs.showNotice("");
    return path;
}

void SessionRows::keepWaitingRowsAtExit() {
    if (m_rows.waiting() == 0 || settleWaitingRows())
        return;
    try {
        const std::string path = moveWaitingRowsToRecoveryFile();
        std::fprintf(stderr, "veltrum: trial rows that could not be written to %s are in %s\n",
                     m_engine.state().NewDataFile.c_str(), path.c_str());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "veltrum: %zu trial rows could not be saved anywhere: %s\n", m_rows.waiting(),
                     failure.what());
    }
}

} // namespace veltrum::session
