#include "session/Form1.h"

#include "results/SummaryRecord.h"

#include <cctype>

namespace veltrum::session {

using results::CommentCharacters;
using results::hopPercentText;
using results::SessionTotals;
using results::totalPecks;

namespace {

constexpr int TwipsPerPixel = 15;

forms::Geometry fromTwips(int left, int top, int width, int height) {
    const auto pixels = [](int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; };
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

forms::Font sansSerif(double pointSize) {
    return forms::Font{"MS Sans Serif", pointSize, false};
}

void design(forms::Label& label, const char* caption, double pointSize, forms::Geometry geometry) {
    label.setCaption(caption);
    label.setFont(sansSerif(pointSize));
    label.setGeometry(geometry);
}

} // namespace

Form1::Form1(EndedSession& session, const Services& services)
    : Form("Form1")
    , Label1("Label1")
    , Label6("Label6")
    , label13("label13")
    , label20("label20")
    , Trials("Trials")
    , HopPC("HopPC")
    , Pecks("Pecks")
    , Text1("Text1")
    , Command1("Command1")
    , RowStatus("RowStatus")
    , m_session(session)
    , m_services(services) {
    designLayout();
    for (forms::Control* control : controls())
        control->attach(&m_controlEvents);
    Command1.setOnClick([this] { Command1_Click(); });
    m_session.setRowsChanged([this] { showRowStatus(); });
}

Form1::~Form1() {
    m_session.setRowsChanged({});
}

std::vector<forms::Control*> Form1::controls() {
    return {&Form,  &Label1, &Label6, &label13,  &label20,  &Trials,
            &HopPC, &Pecks,  &Text1,  &Command1, &RowStatus};
}

void Form1::designLayout() {
    Form.setCaption("Form1");
    Form.setGeometry(fromTwips(0, 0, 10800, 8400));
    Form.setFont(sansSerif(8.25));

    design(Label1, R"(Press "C" to enter comments Press "S" to save and exit Press "D" to delete and exit)",
           13.5, fromTwips(3000, 360, 3735, 1455));
    design(Label6, "Trials", 18, fromTwips(4440, 1560, 1335, 375));
    design(label13, "Hop PC", 18, fromTwips(5880, 1560, 1335, 375));
    design(label20, "Total Pecks", 18, fromTwips(7440, 1560, 1935, 375));
    design(Trials, "Label5", 13.5, fromTwips(4560, 1920, 615, 495));
    design(HopPC, "Label3", 13.5, fromTwips(6240, 1920, 615, 495));
    design(Pecks, "Label4", 13.5, fromTwips(7680, 1920, 735, 495));

    Text1.setMultiLine(true);
    // Two comment columns of 255 characters each: nothing typed can be lost when saving.
    Text1.setMaxLength(static_cast<int>(CommentCharacters));
    Text1.setFont(sansSerif(12));
    Text1.setGeometry(fromTwips(3000, 2520, 7092, 4812));
    Text1.setVisible(false);

    Command1.setCaption("PRESS TO EXIT");
    Command1.setFont(sansSerif(8.25));
    Command1.setGeometry(fromTwips(5760, 7320, 1575, 495));
    Command1.setVisible(false);

    RowStatus.setFont(sansSerif(10));
    RowStatus.setGeometry(fromTwips(240, 360, 2640, 6960));
    RowStatus.setForeground({200, 0, 0});
    RowStatus.setVisible(false);
}

void Form1::Form_Load() {
    const SessionTotals totals = m_session.sessionTotals();
    Text1.setText(m_session.shapingNote());
    Trials.setCaption(totals.CurrentTrial.toString());
    HopPC.setCaption(hopPercentText(totals.HopCheck, totals.CurrentTrial));
    Pecks.setCaption(totalPecks(totals).toString());
    // Rows that waited during the session get one more try before the operator is offered to save.
    m_session.retryWaitingRows();
    showRowStatus();
}

void Form1::showRowStatus() {
    const std::size_t waiting = m_session.pendingRowCount();
    if (waiting > 0 && m_session.rowFailure().empty()) {
        RowStatus.setCaption(std::to_string(waiting) + (waiting == 1 ? " trial row is" : " trial rows are") +
                             " being written to " + m_session.sessionWorkbook() + ".");
    } else if (waiting > 0) {
        // Once a control has the focus, typed letters are comment text: the button is the way on.
        RowStatus.setCaption(
            std::to_string(waiting) + (waiting == 1 ? " trial row is" : " trial rows are") + " not yet in " +
            m_session.sessionWorkbook() + ":\n" + m_session.rowFailure() +
            (m_controlHasFocus ? "\n\nOnce the cause is corrected, \"PRESS TO EXIT\" tries again, then asks "
                                 "whether to save them to a recovery file instead."
                               : "\n\nPress \"R\" to try again once the cause is corrected. \"S\" asks "
                                 "whether to save them to a recovery file instead."));
    } else if (!m_recoveryFile.empty()) {
        RowStatus.setCaption(std::to_string(m_recoveredRows) +
                             " trial rows that could not reach the session workbook are in\n" +
                             m_recoveryFile);
    }
    RowStatus.setVisible(waiting > 0 || !m_recoveryFile.empty());
}

void Form1::Form_KeyPress(Int16& KeyAscii) {
    if (m_finished || m_controlHasFocus)
        return;
    const int key = KeyAscii.toInt();
    const int command = key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
    switch (command) {
    case 'C':
        Text1.setVisible(true);
        Command1.setVisible(true);
        // A comment typed straight away is comment text, not keys of the window.
        Text1.setFocus();
        controlGotFocus();
        break;
    case 'S':
        saveReportingFailure();
        break;
    case 'D':
        if (confirmDiscard())
            discardReportingFailure();
        break;
    case 'R':
        m_session.retryWaitingRows();
        showRowStatus();
        break;
    default:
        break;
    }
}

void Form1::controlGotFocus() {
    if (m_controlHasFocus)
        return;
    m_controlHasFocus = true;
    showRowStatus();
}

void Form1::Command1_Click() {
    if (!m_finished)
        saveReportingFailure();
}

void Form1::Form_QueryUnload(Int16& Cancel) {
    Cancel = 0;
    if (m_finished)
        return;
    const platform::MessageAnswer answer = m_services.dialogs.messageBox(
        "Save this session before closing?\n\n"
        "Yes: save the session summary and exit.\n"
        "No: exit without saving; the session's data file is set aside.\n"
        "Cancel: go back to the summary window.",
        "", platform::MessageButtons::YesNoCancel, platform::MessageIcon::Question);
    bool closes = false;
    if (answer == platform::MessageAnswer::Yes)
        closes = saveReportingFailure();
    else if (answer == platform::MessageAnswer::No)
        closes = discardReportingFailure();
    if (!closes)
        Cancel = 1;
}

} // namespace veltrum::session
