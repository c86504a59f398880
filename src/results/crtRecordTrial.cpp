#include "results/Formats.h"
#include "session/crt.h"

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
    while (!m_pendingRows.empty()) {
        try {
            Data2.addNew();
            for (const workbook::AppendField& field : m_pendingRows.front())
                Data2.setField(field.header, field.value);
            Data2.update();
        } catch (const std::exception& error) {
            Data2.cancelUpdate();
            const std::size_t waiting = m_pendingRows.size();
            noticeWaitingRows("A trial row could not be written to " + state.NewDataFile + ":\n" +
                              error.what() + "\n\n" + std::to_string(waiting) +
                              (waiting == 1 ? " row waits" : " rows wait") +
                              " and will be written with the next trial row. Close any program that holds "
                              "the workbook.");
            return false;
        }
        m_pendingRows.erase(m_pendingRows.begin());
    }
    return true;
}

void crt::noticeWaitingRows(std::string text) {
    // The message waits until the handler has finished: a modal box shown in the middle of a timer tick
    // would let the same timer tick again before this one has moved the trial on.
    m_rowNotice = std::move(text);
    if (!m_rowNoticeTimer) {
        m_rowNoticeTimer = std::make_unique<platform::Timer>(m_services.scheduler, "RowNotice", 1);
        m_rowNoticeTimer->setOnTick([this] {
            m_rowNoticeTimer->setEnabled(false);
            const std::string notice = std::exchange(m_rowNotice, {});
            if (!notice.empty())
                m_services.dialogs.messageBox(notice, "", platform::MessageButtons::Ok,
                                              platform::MessageIcon::Warning);
        });
    }
    m_rowNoticeTimer->setEnabled(true);
}

} // namespace veltrum::session
