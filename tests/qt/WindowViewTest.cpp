#include "qt/WindowView.h"
#include "qt/FailureReport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace veltrum;

// A small window model of its own: a caption, a text box, a button whose handler may fail.
class WindowViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.setGeometry({0, 0, 300, 200});
        form.setBackground(forms::Rgb{0, 0, 0});
        caption.setGeometry({10, 10, 200, 20});
        caption.setCaption("<b>Ready</b>");
        entry.setGeometry({10, 40, 100, 24});
        button.setGeometry({10, 80, 100, 30});
        button.setCaption("Go");
        view = std::make_unique<veltrum::qt::WindowView>(
            std::vector<forms::Control*>{&form, &caption, &entry, &button});
        for (forms::Control* control : std::vector<forms::Control*>{&form, &caption, &entry, &button})
            control->attach(&view->controlEvents());
        veltrum::qt::setFailureSink([this](const QString& message) { failures.append(message); });
        view->showWindow();
    }
    void TearDown() override {
        for (forms::Control* control : std::vector<forms::Control*>{&form, &caption, &entry, &button})
            control->attach(nullptr);
        veltrum::qt::setFailureSink({});
    }

    forms::Window form{"form"};
    forms::Label caption{"Caption"};
    forms::TextBox entry{"Entry"};
    forms::CommandButton button{"Go"};
    std::unique_ptr<veltrum::qt::WindowView> view;
    QStringList failures;
};

TEST_F(WindowViewTest, ModelChangesShowAtOnceAndCaptionsAreNeverMarkup) {
    auto* label = view->findChild<QLabel*>(QStringLiteral("Caption"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("<b>Ready</b>"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);

    caption.setCaption("Hopper Up");
    caption.setGeometry({20, 30, 150, 25});
    EXPECT_EQ(label->text(), QStringLiteral("Hopper Up"));
    EXPECT_EQ(label->geometry(), QRect(20, 30, 150, 25));
    caption.setVisible(false);
    EXPECT_FALSE(label->isVisible());
}

TEST_F(WindowViewTest, OperatorTypingReachesTheModelButProgramTextDoesNotEcho) {
    auto* edit = view->findChild<QLineEdit*>(QStringLiteral("Entry"));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, QStringLiteral("123"));
    EXPECT_EQ(entry.text(), "123");
    entry.setText("45");
    EXPECT_EQ(edit->text(), QStringLiteral("45"));
}

TEST_F(WindowViewTest, FailingHandlerIsReportedNotThrownIntoTheEventLoop) {
    button.setOnClick([] { throw std::runtime_error("Parameters/B7.xls is missing"); });
    QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("Go")), Qt::LeftButton);
    EXPECT_EQ(failures, QStringList{QStringLiteral("Parameters/B7.xls is missing")});
}

TEST_F(WindowViewTest, KeysTypedOnTheWindowGoToTheKeyHandlerAsCharacters) {
    std::vector<int> keys;
    view->setKeyHandler([&](int character) { keys.push_back(character); });
    QTest::keyClick(view.get(), 's');
    QTest::keyClick(view.get(), 'E');
    QTest::keyClick(view.get(), Qt::Key_Shift);
    EXPECT_EQ(keys, (std::vector<int>{'s', 'E'}));
}

TEST_F(WindowViewTest, HidingTheWindowModelHidesTheViewOnceShown) {
    EXPECT_TRUE(view->isVisible());
    form.setVisible(false);
    EXPECT_FALSE(view->isVisible());
}

} // namespace
