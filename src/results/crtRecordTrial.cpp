#include "results/Formats.h"
#include "results/RecoveryFile.h"
#include "session/crt.h"

#include <cstdlib>
#include <exception>
#include <utility>

namespace veltrum::session {

namespace {

// Seconds from a time of day in whole seconds to a clock reading. Both are times of day, so a reading
// taken after midnight lies a day later than its difference says; a difference more negative than half
// a day is such a crossing. Small negative values (a reading within half a second of a time that was
// rounded up) are kept as they are.
double secondsSince(std::int32_t timeOfDay, float reading) {
    double difference = static_cast<double>(reading) - static_cast<double>(timeOfDay);
    if (difference < -43200.0)
        difference += 86400.0;
    return difference;
}

} // namespace

workbook::AppendRow crt::trialRow(Int16 ScreenIndex, Int16 TabletPosition) const {
    using workbook::AppendValue;
    const platform::CalendarDate today = m_services.clock.today();
    auto number = [](Int16 value) { return AppendValue::fromNumber(value.toDouble()); };
    const float sessionReading = static_cast<float>(m_services.clock.secondsSinceMidnight());
    const float trialReading = static_cast<float>(m_services.clock.secondsSinceMidnight());
    return {
        {"Subject", AppendValue::fromText(state.Subject)},
        {"Date", AppendValue::fromDate(today.year, today.month, today.day)},
        {"Session", number(state.SessionNumber)},
        {"Phase", number(state.PhaseNumber)},
        {"TrialType", number(state.TrialType)},
        {"Trial", number(state.CurrentTrial)},
        {"Ordinal", number(state.Ordinal)},
        {"SessionTime",
         AppendValue::fromText(results::formatTwoDecimals(secondsSince(state.StartTime, sessionReading)))},
        {"TrialTime",
         AppendValue::fromText(results::formatTwoDecimals(secondsSince(state.TrialTime, trialReading)))},
        {"Goal", number(state.GoalLocation)},
        {"Response", number(ScreenIndex > 0 ? ScreenIndex : TabletPosition)},
        {"Outcome", AppendValue::fromText(state.Outcome)},
        {"CorrectionTrial", AppendValue::fromNumber(0)},
    };
}

void crt::RecordTrial(Int16 ScreenIndex, Int16 TabletPosition) {
    // Rows are written in the order of the events; one that cannot be written waits behind the earlier
    // ones, and the session carries on.
    m_pendingRows.push_back(trialRow(ScreenIndex, TabletPosition));
    writePendingRows();
}

bool crt::writePendingRows() {
    const std::size_t before = m_pendingRows.size();
    while (!m_pendingRows.empty()) {
        try {
            Data2.addNew();
            for (const workbook::AppendField& field : m_pendingRows.front())
                Data2.setField(field.header, field.value);
            Data2.update();
        } catch (const std::exception& error) {
            Data2.cancelUpdate();
            m_rowFailure = error.what();
            // The messages of the workbook layer start with the file's path, which the notice names already.
            if (m_rowFailure.starts_with(state.NewDataFile + ": "))
                m_rowFailure.erase(0, state.NewDataFile.size() + 2);
            // One notice, updated in place: a disk that stays full must not stack a box per row.
            const std::size_t waiting = m_pendingRows.size();
            m_services.dialogs.showNotice(
                std::to_string(waiting) + (waiting == 1 ? " trial row waits" : " trial rows wait") +
                " to be written to " + state.NewDataFile + ":\n" + m_rowFailure +
                "\n\nThe rows are kept and written, in order, as soon as the workbook can be written again. "
                "Free disk space or close any program that holds the workbook.");
            return false;
        }
        m_pendingRows.erase(m_pendingRows.begin());
    }
    if (before > 0 && !m_rowFailure.empty()) {
        m_rowFailure.clear();
        m_services.dialogs.showNotice("");
    }
    return true;
}

bool crt::retryWaitingRows() {
    return m_pendingRows.empty() || writePendingRows();
}

std::string crt::moveWaitingRowsToRecoveryFile() {
    if (m_pendingRows.empty())
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
    const std::string path =
        results::writeRecoveryFile(m_pendingRows, stem + ".rows-not-in-workbook", folders);
    m_pendingRows.clear();
    m_rowFailure.clear();
    m_services.dialogs.showNotice("");
    return path;
}

const std::vector<std::string>& crt::trialColumns() {
    static const std::vector<std::string> columns{
        "Subject",     "Date",      "Session", "Phase",    "TrialType", "Trial",          "Ordinal",
        "SessionTime", "TrialTime", "Goal",    "Response", "Outcome",   "CorrectionTrial"};
    return columns;
}

} // namespace veltrum::session
