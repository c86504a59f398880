#include "qt/Form1Window.h"

#include "session/Form1.h"
#include "session/crt.h"
#include "support/SessionFixture.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace veltrum;

// The summary window over a main window loaded on a copy of the demo data folder.
class Form1WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        session::crt& main = fixture.window();
        main.Form_Load();
        model = std::make_unique<session::Form1>(main.endedSession(), fixture.services());
        window = std::make_unique<veltrum::qt::Form1Window>(*model);
        model->Form_Load();
        window->showWindow();
        QApplication::setActiveWindow(window.get());
    }

    template <typename Widget>
    Widget* find(const char* name) {
        auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    veltrum::testing::SessionFixture fixture;
    std::unique_ptr<session::Form1> model;
    std::unique_ptr<veltrum::qt::Form1Window> window;
};

TEST_F(Form1WindowTest, ShowsTheTotalsUnderTheirNamesWithTheCommentBoxHidden) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Form1"));
    EXPECT_TRUE(find<QLabel>("Label1")->wordWrap());
    EXPECT_TRUE(find<QLabel>("Label1")->text().startsWith(QStringLiteral("Press \"C\" to enter comments")));
    EXPECT_EQ(find<QLabel>("label13")->text(), QStringLiteral("Hop PC"));
    EXPECT_EQ(find<QLabel>("Trials")->text(), QStringLiteral("0"));
    EXPECT_EQ(find<QLabel>("HopPC")->text(), QStringLiteral("0"));
    EXPECT_EQ(find<QLabel>("Pecks")->text(), QStringLiteral("0"));
    EXPECT_FALSE(find<QPlainTextEdit>("Text1")->isVisible());
    EXPECT_FALSE(find<QPushButton>("Command1")->isVisible());
}

TEST_F(Form1WindowTest, KeysTypedIntoTheCommentBoxAreCommentsNotCommands) {
    QTest::keyClick(window.get(), Qt::Key_C);
    auto* comment = find<QPlainTextEdit>("Text1");
    ASSERT_TRUE(comment->isVisible());
    EXPECT_TRUE(find<QPushButton>("Command1")->isVisible());

    QTest::mouseClick(comment->viewport(), Qt::LeftButton);
    EXPECT_TRUE(model->controlHasFocus());
    QTest::keyClicks(comment, QStringLiteral("ds"));
    EXPECT_EQ(model->Text1.text(), "ds");
    EXPECT_FALSE(model->isFinished());
    EXPECT_TRUE(fixture.dialogs.messages().empty());
}

// C hands the keyboard to the comment box: a comment typed straight away is text, not the window's keys.
TEST_F(Form1WindowTest, ACommentTypedStraightAfterCGoesIntoTheBox) {
    QTest::keyClick(window.get(), Qt::Key_C);
    auto* comment = find<QPlainTextEdit>("Text1");
    ASSERT_TRUE(comment->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("test a good"));
    EXPECT_EQ(model->Text1.text(), "test a good");
    EXPECT_FALSE(model->isFinished());
    EXPECT_TRUE(fixture.dialogs.messages().empty());
}

TEST_F(Form1WindowTest, CommentBoxTakesNoMoreThanFiveHundredTenCharacters) {
    QTest::keyClick(window.get(), Qt::Key_C);
    auto* comment = find<QPlainTextEdit>("Text1");
    comment->setPlainText(QString(600, QChar(u'\u00e9')));
    EXPECT_EQ(comment->toPlainText().size(), 510);
    EXPECT_EQ(model->Text1.text().size(), 2u * 510u);
}

TEST_F(Form1WindowTest, ClosingFromTheTitleBarAsksAndStaysOpenUnlessAnswered) {
    // The box is answered OK, which is neither Yes nor No: the operator went back.
    fixture.dialogs.queueAnswer(platform::MessageAnswer::Ok);
    window->close();
    ASSERT_EQ(fixture.dialogs.messages().size(), 1u);
    EXPECT_NE(fixture.dialogs.messages()[0].text.find("Save this session"), std::string::npos);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(fixture.lifetime.ended());
}

} // namespace
