#include "qt/QtDialogs.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace veltrum::qt {

namespace {

QString titleOrProgramName(const std::string& title) {
    return title.empty() ? QCoreApplication::applicationName() : QString::fromStdString(title);
}

QMessageBox::Icon toQt(platform::MessageIcon icon) {
    switch (icon) {
    case platform::MessageIcon::Information:
        return QMessageBox::Information;
    case platform::MessageIcon::Warning:
        return QMessageBox::Warning;
    case platform::MessageIcon::Critical:
        return QMessageBox::Critical;
    case platform::MessageIcon::Question:
        return QMessageBox::Question;
    case platform::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQt(platform::MessageButtons buttons) {
    switch (buttons) {
    case platform::MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case platform::MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case platform::MessageButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// What a box or notice says also goes to the terminal the program was started from, so that an
// operator who missed a box, or a script that runs the program, can read it afterwards.
void echoToTerminal(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()), text.c_str());
}

} // namespace

platform::MessageAnswer QtDialogs::messageBox(const std::string& text, const std::string& title,
                                              platform::MessageButtons buttons, platform::MessageIcon icon,
                                              platform::MessageDefault defaultButton) {
    echoToTerminal(text);
    QMessageBox box(toQt(icon), titleOrProgramName(title), QString::fromStdString(text), toQt(buttons),
                    m_parent.data());
    if (defaultButton == platform::MessageDefault::No && (box.standardButtons() & QMessageBox::No)) {
        box.setDefaultButton(QMessageBox::No);
        if (!(box.standardButtons() & QMessageBox::Cancel))
            box.setEscapeButton(QMessageBox::No);
        // A message box presses the button whose underlined letter is typed, even without Alt: with the
        // letters gone, text typed on into the box cannot answer it.
        for (QAbstractButton* button : box.buttons())
            button->setText(button->text().remove(QLatin1Char('&')));
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return platform::MessageAnswer::Yes;
    case QMessageBox::No:
        return platform::MessageAnswer::No;
    case QMessageBox::Cancel:
        return platform::MessageAnswer::Cancel;
    default:
        break;
    }
    // Escape or the title bar's close button answers the box's escape button: Cancel, No or Ok.
    return buttons == platform::MessageButtons::Ok ? platform::MessageAnswer::Ok
                                                   : platform::MessageAnswer::No;
}

std::optional<std::string> QtDialogs::inputBox(const std::string& title, const std::string& prompt,
                                               const std::string& defaultText) {
    bool accepted = false;
    const QString text =
        QInputDialog::getText(m_parent.data(), titleOrProgramName(title), QString::fromStdString(prompt),
                              QLineEdit::Normal, QString::fromStdString(defaultText), &accepted);
    if (!accepted)
        return std::nullopt;
    return text.toStdString();
}

void QtDialogs::showNotice(const std::string& text) {
    if (text.empty()) {
        if (m_notice)
            m_notice->close();
        return;
    }
    echoToTerminal(text);
    if (!m_notice) {
        m_notice = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(), QString(),
                                   QMessageBox::Ok, m_parent.data());
        m_notice->setObjectName(QStringLiteral("Notice"));
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
        m_notice->setWindowModality(Qt::NonModal);
    }
    m_notice->setText(QString::fromStdString(text));
    m_notice->show();
}

} // namespace veltrum::qt
