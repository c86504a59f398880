// The main window crt on screen: the set-up panel (later the stimulus screen) rendered from the model.
#pragma once

#include "qt/WindowView.h"
#include "session/crt.h"

namespace veltrum::qt {

class CrtWindow : public WindowView {
public:
    explicit CrtWindow(session::crt& model, QWidget* parent = nullptr);
    ~CrtWindow() override;

    session::crt& model() { return m_model; }

private:
    void forwardKey(int character);

    session::crt& m_model;
};

} // namespace veltrum::qt
