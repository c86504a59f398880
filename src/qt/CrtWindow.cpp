#include "qt/CrtWindow.h"

namespace veltrum::qt {

namespace {

// The window's key handler takes the typed character; models without one ignore keys.
template <typename Model>
void pressKey(Model& model, int character) {
    if constexpr (requires(Model & m, forms::Int16 & key) { m.Form_KeyPress(key); }) {
        forms::Int16 key = character;
        model.Form_KeyPress(key);
    } else if constexpr (requires(Model & m) { m.Form_KeyPress(character); }) {
        model.Form_KeyPress(character);
    }
}

// Start turns the window into the stimulus screen and hides its Start button for good; a model that
// marks the change itself is taken at its word.
template <typename Model>
bool isStimulusScreen(const Model& model) {
    if constexpr (requires(const Model& m) { bool(m.stimulusScreen); })
        return model.stimulusScreen;
    else if constexpr (requires(const Model& m) { bool(m.isStimulusScreen()); })
        return model.isStimulusScreen();
    else
        return model.isLoaded() && !model.Command1.isVisible();
}

} // namespace

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
    pressKey(m_model, character);
}

void CrtWindow::followScreenMode() {
    if (!fillsScreen() && isStimulusScreen(m_model))
        setFillsScreen(true);
}

} // namespace veltrum::qt
