#include "qt/CrtWindow.h"
#include "qt/FailureReport.h"
#include "session/crt.h"
#include "support/SessionFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace {

using namespace veltrum;

// The demo data folder holds subjects P101 (sessions 1 to 3, the last in phase "Auto"), P102 (session 1
// in "MagTrain") and P103 (no sessions yet); CurrentSchedule.txt lists all three.
class CrtWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        veltrum::qt::setFailureSink([this](const QString& message) { failures.append(message); });
        model = &fixture.window();
        window = std::make_unique<veltrum::qt::CrtWindow>(*model);
        model->Form_Load();
        window->showWindow();
    }
    void TearDown() override { veltrum::qt::setFailureSink({}); }

    template <typename Widget>
    Widget* find(const char* name) {
        auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* lineEdit) { return find<QLineEdit>(lineEdit)->text(); }
    void pickEntry(const char* comboName, const QString& entry) {
        auto* combo = find<QComboBox>(comboName);
        const int index = combo->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        // What the list does when the operator picks an entry from its drop-down.
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
    }

    veltrum::testing::SessionFixture fixture;
    QStringList failures;
    session::crt* model = nullptr;
    std::unique_ptr<veltrum::qt::CrtWindow> window;
};

TEST_F(CrtWindowTest, PanelOpensOnTheLastSubjectOfTheSchedule) {
    auto* subjects = find<QComboBox>("Subject_In");
    QStringList entries;
    for (int i = 0; i < subjects->count(); ++i)
        entries.append(subjects->itemText(i));
    EXPECT_EQ(entries, (QStringList{QStringLiteral("P101"), QStringLiteral("P102"), QStringLiteral("P103")}));
    EXPECT_EQ(subjects->currentText(), QStringLiteral("P103"));
    EXPECT_EQ(text("SessionNum"), QStringLiteral("1"));
    EXPECT_EQ(find<QComboBox>("Combo1")->currentText(), QStringLiteral("MagTrain"));
    EXPECT_EQ(text("Text1"), QStringLiteral("12345"));
    EXPECT_TRUE(text("Text5").endsWith(QStringLiteral("/Images/")));
}

TEST_F(CrtWindowTest, PickingASubjectShowsItsNextSessionAndPhase) {
    pickEntry("Subject_In", QStringLiteral("P101"));
    EXPECT_EQ(text("SessionNum"), QStringLiteral("4"));
    EXPECT_EQ(find<QComboBox>("Combo1")->currentText(), QStringLiteral("Auto"));

    pickEntry("Subject_In", QStringLiteral("P102"));
    EXPECT_EQ(text("SessionNum"), QStringLiteral("2"));
    EXPECT_EQ(find<QComboBox>("Combo1")->currentText(), QStringLiteral("MagTrain"));
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();
}

TEST_F(CrtWindowTest, TickingTheHardwareBoxReloadsThePhaseFoundForTheSubject) {
    pickEntry("Subject_In", QStringLiteral("P101"));
    pickEntry("Combo1", QStringLiteral("SuccDisc"));
    EXPECT_EQ(find<QComboBox>("Combo1")->currentText(), QStringLiteral("SuccDisc"));
    EXPECT_EQ(text("SessionNum"), QStringLiteral("4"));

    auto* check = find<QCheckBox>("Check1");
    QTest::mouseClick(check, Qt::LeftButton, {}, check->rect().center());
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(model->panel.Check1.value(), 1);
    EXPECT_EQ(find<QComboBox>("Combo1")->currentText(), QStringLiteral("Auto"));
}

TEST_F(CrtWindowTest, TypingASubjectNameRunsNoHandler) {
    auto* subjects = find<QComboBox>("Subject_In");
    subjects->lineEdit()->selectAll();
    QTest::keyClicks(subjects->lineEdit(), QStringLiteral("P1"));
    EXPECT_EQ(model->panel.Subject_In.text(), "P1");
    EXPECT_EQ(model->engine().state().Subject, "P103");
    EXPECT_EQ(subjects->count(), 3);
}

TEST_F(CrtWindowTest, NewSubjectButtonAddsTheTypedNameOrNothingOnCancel) {
    auto* button = find<QPushButton>("Command3");
    fixture.dialogs.queueInput(std::nullopt);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(find<QComboBox>("Subject_In")->count(), 3);

    fixture.copyIn(fixture.folder() + "/Parameters/P102.xls", "Parameters/P200.xls");
    fixture.dialogs.queueInput("P200");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(find<QComboBox>("Subject_In")->count(), 4);
    EXPECT_EQ(find<QComboBox>("Subject_In")->currentText(), QStringLiteral("P200"));
    EXPECT_EQ(text("SessionNum"), QStringLiteral("1"));
}

TEST_F(CrtWindowTest, NewSubjectWithoutParametersIsReportedAndThePanelStaysAsItWas) {
    fixture.dialogs.queueInput("P999");
    QTest::mouseClick(find<QPushButton>("Command3"), Qt::LeftButton);
    ASSERT_EQ(fixture.dialogs.messages().size(), 1u);
    const std::string& message = fixture.dialogs.messages().front().text;
    EXPECT_NE(message.find("P999"), std::string::npos) << message;
    EXPECT_EQ(find<QComboBox>("Subject_In")->count(), 3);
    EXPECT_EQ(find<QComboBox>("Subject_In")->currentText(), QStringLiteral("P103"));
    EXPECT_TRUE(failures.isEmpty());
}

struct DesignCaption {
    const char* control;
    const char* caption;
};

void PrintTo(const DesignCaption& design, std::ostream* out) {
    *out << design.control << " \"" << design.caption << '"';
}

class CrtWindowCaptionTest : public CrtWindowTest, public ::testing::WithParamInterface<DesignCaption> {};

TEST_P(CrtWindowCaptionTest, ControlShowsItsDesignCaptionAtTheModelsGeometry) {
    QWidget* widget = window->findChild<QWidget*>(QString::fromLatin1(GetParam().control));
    ASSERT_NE(widget, nullptr);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        shown = button->text();
    EXPECT_EQ(shown, QString::fromUtf8(GetParam().caption));
    EXPECT_TRUE(widget->isVisible());
    for (forms::Control* control : model->controls()) {
        if (control->objectName() != GetParam().control)
            continue;
        const forms::Geometry& g = control->geometry();
        EXPECT_EQ(widget->geometry(), QRect(g.left, g.top, g.width, g.height));
    }
}

INSTANTIATE_TEST_SUITE_P(
    SetupPanel, CrtWindowCaptionTest,
    ::testing::Values(DesignCaption{"Command1", "Start"}, DesignCaption{"Command3", "Enter Subject name"},
                      DesignCaption{"Label8", "Phase"}, DesignCaption{"Label5", "Session #"},
                      DesignCaption{"Label9", "Port"}, DesignCaption{"Label4", "Image Directory"},
                      DesignCaption{"Label6", "iPad Connection"},
                      DesignCaption{"Check1", "click to run without hardware"}),
    [](const ::testing::TestParamInfo<DesignCaption>& info) { return std::string(info.param.control); });

TEST_F(CrtWindowTest, HiddenControlsStayHiddenAndTheWindowHasTheModelsSize) {
    for (const char* name : {"Label7", "Label1", "Label3", "Text2", "Text8", "Image1(1)", "Image1(6)"}) {
        QWidget* widget = window->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_FALSE(widget->isVisible()) << name;
    }
    const forms::Geometry& g = model->Form.geometry();
    EXPECT_EQ(window->size(), QSize(g.width, g.height));
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::black));
}

} // namespace
