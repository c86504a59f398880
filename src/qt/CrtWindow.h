// The main window crt on screen: the set-up panel, then the black full-screen stimulus screen, rendered
// from the model.
#pragma once

#include "qt/WindowView.h"
#include "session/crt.h"

namespace veltrum::qt {

// Keys typed on the window go to the model's key handler; a press on a shown picture slot reaches the
// slot's own handler, which the model routes to Image1_MouseDown. Once Start has turned the model into the
// stimulus screen the window fills its display, without a frame, until the model hides it.
class CrtWindow : public WindowView {
public:
    explicit CrtWindow(session::crt& model, QWidget* parent = nullptr);
    ~CrtWindow() override;

    session::crt& model() { return m_model; }
    bool showsStimulusScreen() const { return fillsScreen(); }
    // Told after each control change the model reports has been rendered (views beside the panel's
    // controls follow the picked subject this way).
    void setOnModelChange(std::function<void(const forms::Control&)> handler) {
        m_onModelChange = std::move(handler);
    }

private:
    void forwardKey(int character);
    void followScreenMode();

    session::crt& m_model;
    forms::ControlEvents m_events;
    std::function<void(const forms::Control&)> m_onModelChange;
};

} // namespace veltrum::qt
