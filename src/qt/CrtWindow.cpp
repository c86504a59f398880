#include "qt/CrtWindow.h"

namespace veltrum::qt {

CrtWindow::CrtWindow(session::crt& model, QWidget* parent)
    : WindowView(model.controls(), parent)
    , m_model(model) {
    // Every change the model reports is rendered, then may turn the panel into the stimulus screen.
    const forms::ControlEvents& view = controlEvents();
    m_events.changed = [this, render = view.changed](const forms::Control& control) {
        render(control);
        followScreenMode();
        if (m_onModelChange)
            m_onModelChange(control);
    };
    m_events.repaintNow = [this, repaint = view.repaintNow](const forms::Control& control) {
        followScreenMode();
        repaint(control);
    };
    m_events.focus = view.focus;
    m_model.setControlEvents(m_events);
    setKeyHandler([this](int character) { forwardKey(character); });
    followScreenMode();
}

CrtWindow::~CrtWindow() {
    // The model may outlive its view: it must stop reporting to it.
    m_model.setControlEvents({});
}

void CrtWindow::forwardKey(int character) {
    // Characters outside the 16-bit range cannot be a key of the window.
    if (character > forms::Int16::maximum)
        return;
    forms::Int16 key = character;
    m_model.Form_KeyPress(key);
}

void CrtWindow::followScreenMode() {
    if (!fillsScreen() && m_model.showsStimulusScreen())
        setFillsScreen(true);
}

} // namespace veltrum::qt
