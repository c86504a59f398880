#include "devices/SimulatedIoCard.h"
#include "qt/CrtWindow.h"
#include "qt/FailureReport.h"
#include "session/crt.h"
#include "support/SessionFixture.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace veltrum;

// The real main window on a copy of the demo data folder, subject P101 (next session in "Auto": picture 7
// at position 2), with the simulated card, run from the widgets in virtual time.
class CrtStimulusScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        veltrum::qt::setFailureSink([this](const QString& message) { failures.append(message); });
        fixture.useIoCard(card);
        model = &fixture.window();
        window = std::make_unique<veltrum::qt::CrtWindow>(*model);
        model->Form_Load();
        window->showWindow();
        auto* subjects = window->findChild<QComboBox*>(QStringLiteral("Subject_In"));
        ASSERT_NE(subjects, nullptr);
        const int p101 = subjects->findText(QStringLiteral("P101"));
        ASSERT_GE(p101, 0);
        subjects->setCurrentIndex(p101);
        Q_EMIT subjects->activated(p101);
        ASSERT_EQ(model->panel.Combo1.text(), "Auto");
    }
    void TearDown() override {
        veltrum::qt::setFailureSink({});
        // The main window goes before the card it drives.
        window.reset();
        fixture.restart();
    }

    QWidget* widget(const QString& name) { return window->findChild<QWidget*>(name); }
    void pressStart() {
        auto* start = qobject_cast<QPushButton*>(widget(QStringLiteral("Command1")));
        ASSERT_NE(start, nullptr);
        QTest::mouseClick(start, Qt::LeftButton);
    }
    // Runs virtual time in 100 ms steps until the picture slot is up; false after 30 s.
    bool advanceUntilShown(int slot) {
        for (int step = 0; step < 300; ++step) {
            if (model->screen.Image1(slot).isVisible())
                return true;
            fixture.scheduler.advanceBy(100);
        }
        return false;
    }

    veltrum::testing::SessionFixture fixture;
    devices::SimulatedIoCard card{fixture.scheduler};
    QStringList failures;
    session::crt* model = nullptr;
    std::unique_ptr<veltrum::qt::CrtWindow> window;
};

TEST_F(CrtStimulusScreenTest, StartTurnsThePanelIntoTheFullScreenBanner) {
    EXPECT_FALSE(window->showsStimulusScreen());
    pressStart();
    ASSERT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(window->showsStimulusScreen());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QGuiApplication::primaryScreen()->geometry().size());
    auto* banner = qobject_cast<QLabel*>(widget(QStringLiteral("Label7")));
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(banner->text().contains(QStringLiteral("Subject is P101")));
    EXPECT_FALSE(widget(QStringLiteral("Command1"))->isVisible());
}

TEST_F(CrtStimulusScreenTest, PressOnTheShownPictureAfterTheFixedIntervalRaisesTheHopper) {
    pressStart();
    QTest::keyClick(window.get(), Qt::Key_S);
    ASSERT_TRUE(advanceUntilShown(2));
    QWidget* picture = widget(QStringLiteral("Image1(2)"));
    ASSERT_TRUE(picture->isVisible());
    EXPECT_EQ(picture->geometry(), QRect(300, 50, 200, 200));
    // The fixed interval of "Auto" is 1000 ms; the stimulus period lasts 5 s.
    fixture.scheduler.advanceBy(1100);
    ASSERT_TRUE(picture->isVisible());

    // Slot 1 shows nothing: a press there is not a touch.
    const int ordinalBefore = model->engine().state().Ordinal.toInt();
    QTest::mouseClick(widget(QStringLiteral("Image1(1)")), Qt::LeftButton);
    EXPECT_EQ(model->engine().state().Ordinal.toInt(), ordinalBefore);
    EXPECT_EQ(veltrum::devices::PortMap::valueOf(card.outputs()), 0);

    QTest::mouseClick(picture, Qt::LeftButton);
    EXPECT_EQ(veltrum::devices::PortMap::valueOf(card.outputs()), 2);
    EXPECT_EQ(model->screen.Label1.caption(), "Hopper Up");
    EXPECT_FALSE(picture->isVisible());
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
}

} // namespace
