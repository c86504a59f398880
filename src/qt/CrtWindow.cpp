#include "qt/CrtWindow.h"

namespace veltrum::qt {

namespace {

// The window's key handler takes the typed character; models without one ignore keys.
template <typename Model>
void pressKey(Model& model, int character) {
    if constexpr (requires(Model & m, session::Int16 & key) { m.Form_KeyPress(key); }) {
        session::Int16 key = character;
        model.Form_KeyPress(key);
    } else if constexpr (requires(Model & m) { m.Form_KeyPress(character); }) {
        model.Form_KeyPress(character);
    }
}

} // namespace

CrtWindow::CrtWindow(session::crt& model, QWidget* parent)
    : WindowView(model.controls(), parent)
    , m_model(model) {
    m_model.setControlEvents(controlEvents());
    setKeyHandler([this](int character) { forwardKey(character); });
}

CrtWindow::~CrtWindow() {
    // The model may outlive its view: it must stop reporting to it.
    m_model.setControlEvents({});
}

void CrtWindow::forwardKey(int character) {
    // Characters outside the 16-bit range cannot be a key of the window.
    if (character > session::Int16::maximum)
        return;
    pressKey(m_model, character);
}

} // namespace veltrum::qt
