#include "session/crt.h"

#include <exception>

namespace veltrum::session {

namespace {

constexpr const char* shapingMark = "SHAPING KEYS USED. ";

} // namespace

void crt::Form_KeyPress(Int16& KeyAscii) {
    const int code = KeyAscii.toInt();
    if (code < 0 || code > 255)
        return;
    char key = static_cast<char>(code);
    if (key >= 'a' && key <= 'z')
        key = static_cast<char>(key - 'a' + 'A');
    try {
        switch (key) {
        case 'S':
            // S starts only a session that Start has set up and that has not begun its first trial.
            if (state.CurrentTrial == 0 && m_engine.isSetUp() && !m_engine.hasEnded()) {
                Label7.setVisible(false);
                BeginSession();
                m_engine.markSessionStart();
            }
            break;
        case 'E':
            if (!m_engine.isSetUp())
                m_services.lifetime.endProgram(0);
            else
                LeaveProgram();
            break;
        case 'F':
            Stimulus.setEnabled(false);
            ITI.setEnabled(false);
            Hopper_Timer.setEnabled(false);
            state.KeyShaping = shapingMark;
            state.HeadDetect = 2;
            break;
        case 'R':
            state.KeyShaping = shapingMark;
            m_engine.StimulusOff();
            m_engine.EndTrial();
            state.HeadDetect = 1;
            break;
        case 'U':
            m_engine.StimulusOff();
            m_engine.HopperUp();
            state.HeadDetect = 2;
            state.KeyShaping = shapingMark;
            break;
        case 'D':
            m_engine.StimulusOn();
            m_engine.HopperDown();
            state.KeyShaping = shapingMark;
            break;
        case 'H':
            ITI.setEnabled(false);
            Stimulus.setEnabled(false);
            state.HeadDetect = 1;
            m_engine.StimulusOff();
            m_engine.HopperUp();
            state.KeyShaping = shapingMark;
            break;
        case 'L': {
            // Each press lengthens every later stimulus tick by a second, up to a tick of an hour.
            constexpr std::int32_t longestTick = 3600 * 1000;
            if (Stimulus.interval() <= longestTick - 1000)
                Stimulus.setInterval(Stimulus.interval() + 1000);
            state.KeyShaping = shapingMark;
            break;
        }
        case 'I':
            state.Instrumental = 1;
            state.Pavlovian = 0;
            state.KeyShaping = shapingMark;
            break;
        case 'P':
            state.Instrumental = 0;
            state.Pavlovian = 1;
            state.KeyShaping = shapingMark;
            break;
        case 'B':
            state.Instrumental = 1;
            state.Pavlovian = 1;
            state.KeyShaping = shapingMark;
            break;
        default:
            break;
        }
    } catch (const std::exception& error) {
        reportSessionFailure(error.what());
    }
}

void crt::BeginSession() {
    Label2.setVisible(false);
    m_engine.BeginSession();
}

void crt::LeaveProgram() {
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
    m_engine.EndSession(SessionEndTrigger::Operator);
}

} // namespace veltrum::session
