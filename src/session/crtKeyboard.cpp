#include "crt.h"

#include <exception>

namespace veltrum::session {

void crt::Form_KeyPress(Int16& KeyAscii) {
    const int code = KeyAscii.toInt();
    if (code < 0 || code > 255)
        return;
    char key = static_cast<char>(code);
    if (key >= 'a' && key <= 'z')
        key = static_cast<char>(key - 'a' + 'A');
    try {
        if (key == 'S') {
            // S begins only a session that Start has set up and that has not begun its first trial.
            if (!m_engine.mayBeginSession())
                return;
            screen.Label7.setVisible(false);
            link.Label2.setVisible(false);
            m_engine.BeginSession();
        } else if (key == 'E') {
            LeaveProgram();
        } else {
            m_engine.applyShapingKey(key);
        }
    } catch (const std::exception& error) {
        reportFailure(error.what());
    }
}

void crt::LeaveProgram() {
    // Before Start there is nothing to leave: the program ends without a question.
    if (!m_engine.isSetUp()) {
        m_services.lifetime.endProgram(0);
        return;
    }
    const platform::MessageAnswer answer =
        m_services.dialogs.messageBox("Are you sure you want to leave the program?", "Autoshaping",
                                      platform::MessageButtons::YesNoCancel, platform::MessageIcon::None);
    // Timers keep running while the question waits: the session may have ended in the meantime, and then
    // its own end has already hidden the window and opened the summary.
    if (m_engine.hasEnded())
        return;
    if (answer != platform::MessageAnswer::Yes) {
        Form.setVisible(true);
        return;
    }
    if (m_engine.startedAtMs() < 0) {
        m_services.lifetime.endProgram(0);
        return;
    }
    m_engine.EndSession(engine::SessionEndTrigger::Operator);
}

} // namespace veltrum::session
