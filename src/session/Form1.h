// The summary window Form1 as a model: shows the session's totals when the session ends and lets the
// operator add comments, then save the session's summary record or discard the session (its data
// workbook is set aside, never deleted).
#pragma once

#include "forms/Controls.h"
#include "forms/Int16.h"
#include "results/SummaryRecord.h"
#include "session/EndedSession.h"
#include "session/Services.h"

#include <functional>
#include <string>
#include <vector>

namespace veltrum::session {

using forms::Int16;

// Controls (positions converted from twips at 15 per pixel; fonts "MS Sans Serif", regular):
//
// | Control  | Kind          | Design                               | Shows or does                         |
// |----------|---------------|--------------------------------------|---------------------------------------|
// | Label1   | Label         | the key instructions, 13.5 pt        | wrapped over several lines            |
// | Label6   | Label         | "Trials", 18 pt                      | caption of Trials                     |
// | label13  | Label         | "Hop PC", 18 pt                      | caption of HopPC                      |
// | label20  | Label         | "Total Pecks", 18 pt                 | caption of Pecks                      |
// | Trials   | Label         | "Label5", 13.5 pt                    | trials begun                          |
// | HopPC    | Label         | "Label3", 13.5 pt                    | head entries per trial, whole percent |
// | Pecks    | Label         | "Label4", 13.5 pt                    | all pecks counted                     |
// | Text1    | TextBox       | multi-line, 510 characters, hidden   | the operator's comments               |
// | Command1 | CommandButton | "PRESS TO EXIT", hidden              | saves, as key S does                  |
// | RowStatus| Label         | hidden, red                          | trial rows not yet in the workbook    |
class Form1 {
public:
    // session is the session that ended; services are the program's (dialogs, clock, lifetime). Both
    // must outlive the summary window.
    Form1(EndedSession& session, const Services& services);
    // Rows still being written when the window opens are counted down as they reach the workbook.
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    forms::Window Form;
    forms::Label Label1;
    forms::Label Label6;
    forms::Label label13;
    forms::Label label20;
    forms::Label Trials;
    forms::Label HopPC;
    forms::Label Pecks;
    forms::TextBox Text1;
    forms::CommandButton Command1;
    forms::Label RowStatus;

    // Every control of the window, the window itself first, for a view to render.
    std::vector<forms::Control*> controls();
    void setControlEvents(forms::ControlEvents events) { m_controlEvents = std::move(events); }

    // Opening: the comment box and the three totals from the ended session.
    void Form_Load();
    // Keys of the window while no control has the focus: C shows the comment box and the button and puts
    // the focus in the box, so what is typed next is comment text; S saves; D asks, then discards (either
    // case); R tries waiting trial rows again; any other key does nothing.
    void Form_KeyPress(Int16& KeyAscii);
    // "PRESS TO EXIT": saves, as key S does.
    void Command1_Click();
    // The view reports that a control took the keyboard focus; from then on typed keys belong to it.
    void Text1_GotFocus() { controlGotFocus(); }
    void Command1_GotFocus() { controlGotFocus(); }
    bool controlHasFocus() const { return m_controlHasFocus; }
    // Closing from the title bar: asks whether to save, discard or go back. Cancel is set to 1 when the
    // window must stay open (the operator went back, or the chosen action failed).
    void Form_QueryUnload(Int16& Cancel);

    // Appends the summary record to the summary workbook, closes the workbooks and ends the program.
    // Throws (workbook::WorkbookError, forms::OverflowError) without having written anything when the
    // record cannot be committed; the window and everything typed stay as they were.
    void SaveSummary();
    // Sets the session data workbook aside ("<Subject>.<N>.discarded.xls"), with what is kept beside it,
    // says where and that the next run offers the same session number, and ends the program; the summary
    // workbook is untouched. Throws std::runtime_error naming the file when it cannot be set aside; the
    // window stays as it was.
    void DiscardSession();
    // Run once the session workbook is set aside, with where it went: moves what is kept beside it (the
    // session's picture) the same way and returns where that went, or "" when there was nothing.
    void setOnSetAside(std::function<std::string(const std::string& workbookAside)> moveCompanions) {
        m_onSetAside = std::move(moveCompanions);
    }

    // True once the session was saved or discarded: the window then ignores every further command.
    bool isFinished() const { return m_finished; }

private:
    void designLayout();
    // Run SaveSummary or DiscardSession and tell the operator what failed; true when it succeeded.
    bool saveReportingFailure();
    // Trial rows that still wait when saving: true when the save may go on (none waits, or they went to a
    // recovery file at the operator's word).
    bool settleWaitingRows();
    void showRowStatus();
    void controlGotFocus();
    // Asks before discarding; true when the operator answered Yes.
    bool confirmDiscard();
    bool discardReportingFailure();
    void finish();

    EndedSession& m_session;
    Services m_services;
    forms::ControlEvents m_controlEvents;
    std::function<std::string(const std::string&)> m_onSetAside;
    bool m_controlHasFocus = false;
    bool m_finished = false;
    // Where waiting trial rows were written instead of the session workbook; empty when they were not.
    std::string m_recoveryFile;
    std::size_t m_recoveredRows = 0;
};

} // namespace veltrum::session
