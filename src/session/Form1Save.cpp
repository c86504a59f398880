// Leaving the summary window: saving the summary record, or discarding the session, whose data workbook is
// set aside.
#include "session/Form1.h"

#include "results/SummaryRecord.h"

#include <exception>

namespace veltrum::session {

using results::SavingMoment;
using results::SessionTotals;
using results::summaryRecord;

void Form1::SaveSummary() {
    if (m_finished)
        return;
    SavingMoment moment;
    moment.date = m_services.clock.today();
    moment.secondsSinceMidnight = m_services.clock.secondsSinceMidnight();
    // Saved across midnight, the date and the time would come from different days: read both again.
    if (m_services.clock.today() != moment.date) {
        moment.date = m_services.clock.today();
        moment.secondsSinceMidnight = m_services.clock.secondsSinceMidnight();
    }
    moment.box = m_session.box();
    moment.commentText = Text1.text();
    // The record is built whole before the file is touched, and appended and committed in one step: a
    // failure leaves the workbook as it was.
    const workbook::AppendRow record = summaryRecord(m_session.sessionTotals(), moment);
    m_session.records().appendSummaryRecord(m_session.summaryWorkbook(), m_session.summarySheet(), record);
    if (!m_recoveryFile.empty())
        m_services.dialogs.messageBox("The session summary was saved. " + std::to_string(m_recoveredRows) +
                                          " trial rows could not be written to " +
                                          m_session.sessionWorkbook() + "; they are in\n\n" + m_recoveryFile +
                                          "\n\nCopy them into the session workbook once it can be written.",
                                      "", platform::MessageButtons::Ok, platform::MessageIcon::Warning);
    finish();
}

bool Form1::settleWaitingRows() {
    if (m_session.settleWaitingRows()) {
        showRowStatus();
        return true;
    }
    showRowStatus();
    const std::size_t waiting = m_session.pendingRowCount();
    const platform::MessageAnswer answer = m_services.dialogs.messageBox(
        std::to_string(waiting) + (waiting == 1 ? " trial row" : " trial rows") +
            " could not be written to " + m_session.sessionWorkbook() + ":\n" + m_session.rowFailure() +
            "\n\nYes: save the summary now and write the waiting rows to a recovery file (CSV, opens in a "
            "spreadsheet program).\nNo: go back; press \"R\" to try the workbook again once the cause is "
            "corrected.",
        "", platform::MessageButtons::YesNo, platform::MessageIcon::Warning);
    if (answer != platform::MessageAnswer::Yes)
        return false;
    try {
        m_recoveredRows = waiting;
        m_recoveryFile = m_session.moveWaitingRowsToRecoveryFile();
    } catch (const std::exception& failure) {
        m_recoveredRows = 0;
        m_services.dialogs.messageBox(std::string("Nothing was saved.\n\n") + failure.what() +
                                          "\n\nFree some disk space, then save again.",
                                      "", platform::MessageButtons::Ok, platform::MessageIcon::Critical);
        return false;
    }
    showRowStatus();
    return true;
}

bool Form1::confirmDiscard() {
    const SessionTotals totals = m_session.sessionTotals();
    const std::string session = "session " + totals.SessionNumber.toString() + " of " + totals.Subject;
    // No is the default: Enter, Escape or a letter typed on by mistake leaves the session as it is.
    return m_services.dialogs.messageBox(
               "Discard " + session +
                   "?\n\nYes: the session is not saved. Its data workbook and picture are "
                   "set aside (renamed \".discarded\"), and the next run offers " +
                   session + " again.\nNo: go back to the summary window.",
               "", platform::MessageButtons::YesNo, platform::MessageIcon::Question,
               platform::MessageDefault::No) == platform::MessageAnswer::Yes;
}

void Form1::DiscardSession() {
    if (m_finished)
        return;
    // No commit of the row writer may be under way while the workbook moves: one could bring it back.
    m_session.settleWaitingRows();
    const std::string workbookAside =
        m_session.records().setSessionWorkbookAside(m_session.sessionWorkbook());
    m_session.discardWaitingRows();
    const std::string pictureAside = m_onSetAside ? m_onSetAside(workbookAside) : std::string();
    const SessionTotals totals = m_session.sessionTotals();
    const std::string session = totals.SessionNumber.toString() + " of " + totals.Subject;
    std::string text =
        "Session " + session + " was not saved. Its data workbook is kept as\n\n" + workbookAside;
    if (!pictureAside.empty())
        text += "\n\nand its picture as\n\n" + pictureAside;
    text += "\n\nThe next run offers session " + session + " again.";
    m_services.dialogs.messageBox(text, "", platform::MessageButtons::Ok, platform::MessageIcon::Information);
    finish();
}

void Form1::finish() {
    m_finished = true;
    m_session.closeSession();
    Form.setVisible(false);
    m_services.lifetime.endProgram(0);
}

bool Form1::saveReportingFailure() {
    // Nothing is reported saved while a trial row exists only in memory.
    if (!settleWaitingRows())
        return false;
    try {
        SaveSummary();
        return true;
    } catch (const std::exception& failure) {
        m_services.dialogs.messageBox(std::string("The session summary was not saved.\n\n") + failure.what() +
                                          "\n\nEverything typed is kept: correct the cause, then save again.",
                                      "", platform::MessageButtons::Ok, platform::MessageIcon::Critical);
        return false;
    }
}

bool Form1::discardReportingFailure() {
    try {
        DiscardSession();
        return true;
    } catch (const std::exception& failure) {
        m_services.dialogs.messageBox(std::string("The session data file was not set aside.\n\n") +
                                          failure.what() +
                                          "\n\nThe summary window stays open: save the session or try again.",
                                      "", platform::MessageButtons::Ok, platform::MessageIcon::Critical);
        return false;
    }
}

} // namespace veltrum::session
