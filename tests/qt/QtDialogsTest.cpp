#include "qt/QtDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace veltrum::platform;

// Acts on the modal box once it is up, as the operator would.
void whenModalIsShown(std::function<void(QWidget*)> action) {
    QTimer::singleShot(10, [action] {
        if (QWidget* modal = QApplication::activeModalWidget())
            action(modal);
        else
            whenModalIsShown(action);
    });
}

TEST(QtDialogsTest, MessageBoxShowsTheButtonsAndTitleAndReturnsTheOnePressed) {
    veltrum::qt::QtDialogs dialogs;
    QString title;
    QString text;
    whenModalIsShown([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(
        dialogs.messageBox("Save this session?", "", MessageButtons::YesNoCancel, MessageIcon::Question),
        MessageAnswer::No);
    EXPECT_EQ(title, QApplication::applicationName());
    EXPECT_EQ(text, QStringLiteral("Save this session?"));
}

// A question whose Yes is hard to undo: Enter and Escape answer No, and no letter presses a button.
TEST(QtDialogsTest, QuestionWithNoAsDefaultIsAnsweredNoByEnterAndEscapeAndByNoLetter) {
    veltrum::qt::QtDialogs dialogs;
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        whenModalIsShown([key](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            for (QAbstractButton* button : box->buttons())
                EXPECT_TRUE(button->shortcut().isEmpty()) << button->text().toStdString();
            QTest::keyClick(box, key);
        });
        EXPECT_EQ(dialogs.messageBox("Discard?", "", MessageButtons::YesNo, MessageIcon::Question,
                                     MessageDefault::No),
                  MessageAnswer::No);
    }
}

TEST(QtDialogsTest, InputBoxTellsCancelFromOkWithAnEmptyField) {
    veltrum::qt::QtDialogs dialogs;
    whenModalIsShown([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(dialogs.inputBox("New Participant", "Enter the participants's number:", ""), std::nullopt);

    QString title;
    whenModalIsShown([&](QWidget* modal) {
        auto* input = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(input, nullptr);
        title = input->windowTitle();
        input->setTextValue(QString());
        input->accept();
    });
    EXPECT_EQ(dialogs.inputBox("New Participant", "Enter the participants's number:", "P1"), std::string());
    EXPECT_EQ(title, QStringLiteral("New Participant"));

    whenModalIsShown([](QWidget* modal) {
        auto* input = qobject_cast<QInputDialog*>(modal);
        input->setTextValue(QStringLiteral("P104"));
        input->accept();
    });
    EXPECT_EQ(dialogs.inputBox("New Participant", "Enter the participants's number:", ""),
              std::string("P104"));
}

} // namespace
