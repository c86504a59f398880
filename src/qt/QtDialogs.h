// The operator's modal questions as Qt message boxes and input boxes.
#pragma once

#include "platform/Dialogs.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace veltrum::qt {

class QtDialogs : public platform::Dialogs {
public:
    // Boxes are centred on parent while it exists (the set-up panel), else on the screen.
    void setParent(QWidget* parent) { m_parent = parent; }

    using platform::Dialogs::messageBox;
    platform::MessageAnswer messageBox(const std::string& text, const std::string& title,
                                       platform::MessageButtons buttons, platform::MessageIcon icon,
                                       platform::MessageDefault defaultButton) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override;
    void showNotice(const std::string& text) override;

private:
    QPointer<QWidget> m_parent;
    QPointer<QMessageBox> m_notice;
};

} // namespace veltrum::qt
