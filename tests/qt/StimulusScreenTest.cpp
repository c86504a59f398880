#include "qt/FailureReport.h"
#include "qt/WindowView.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace {

using namespace veltrum;

// A window shaped like the stimulus screen: a black form, the banner and six picture slots in two rows
// of three, 200 x 200 each, from (0, 50) to (600, 350).
class StimulusScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        form.setGeometry({0, 0, 786, 573});
        form.setBackground(forms::Rgb{0, 0, 0});
        banner.setGeometry({43, 150, 700, 240});
        banner.setFont({"MS Sans Serif", 24.0, true});
        banner.setCaption("Press \"S\" to start session");
        banner.setCentred(true);
        banner.setVisible(false);
        std::vector<forms::Control*> controls{&form, &banner};
        for (int i = 0; i < 6; ++i) {
            forms::PictureBox& slot = *slots[static_cast<std::size_t>(i)];
            slot.setGeometry({(i % 3) * 300, 50 + (i / 3) * 300, 200, 200});
            slot.setVisible(false);
            slot.setOnMouseDown([this](int index) { presses.push_back(index); });
            controls.push_back(&slot);
        }
        view = std::make_unique<veltrum::qt::WindowView>(controls);
        for (forms::Control* control : controls)
            control->attach(&view->controlEvents());
        veltrum::qt::setFailureSink([this](const QString& message) { failures.append(message); });
        view->showWindow();
        view->setFillsScreen(true);
    }
    void TearDown() override { veltrum::qt::setFailureSink({}); }

    // A picture file of one colour, as the image folder holds them.
    std::string writePicture(const char* name, Qt::GlobalColor colour, QSize size = {64, 48}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = folder.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(image.save(path, "BMP"));
        return path.toStdString();
    }
    QLabel* slotWidget(int index) {
        return view->findChild<QLabel*>(QStringLiteral("Image1(%1)").arg(index));
    }
    // A press where the subject's beak lands, delivered to whatever the window shows at that point.
    void pressAt(QPoint point) {
        QWidget* target = view->childAt(point);
        if (!target)
            target = view.get();
        QTest::mousePress(target, Qt::LeftButton, {}, target->mapFrom(view.get(), point));
    }

    QTemporaryDir folder;
    forms::Window form{"Form"};
    forms::Label banner{"Label7"};
    std::array<std::unique_ptr<forms::PictureBox>, 6> slots{
        std::make_unique<forms::PictureBox>("Image1", 1), std::make_unique<forms::PictureBox>("Image1", 2),
        std::make_unique<forms::PictureBox>("Image1", 3), std::make_unique<forms::PictureBox>("Image1", 4),
        std::make_unique<forms::PictureBox>("Image1", 5), std::make_unique<forms::PictureBox>("Image1", 6)};
    std::unique_ptr<veltrum::qt::WindowView> view;
    std::vector<int> presses;
    QStringList failures;
};

TEST_F(StimulusScreenTest, FillsTheDisplayBlackWithoutAFrame) {
    const QScreen* display = QGuiApplication::primaryScreen();
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->size(), display->geometry().size());
    EXPECT_TRUE(view->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(view->windowState().testFlag(Qt::WindowFullScreen));
    EXPECT_EQ(view->grab().toImage().pixelColor(5, 5), QColor(Qt::black));
    // The model's own size no longer holds the window.
    form.setGeometry({0, 0, 300, 200});
    EXPECT_EQ(view->size(), display->geometry().size());
}

TEST_F(StimulusScreenTest, ShownPictureFillsItsSlotScaled) {
    slots[1]->setPicturePath(writePicture("7.bmp", Qt::yellow));
    slots[1]->setVisible(true);
    QLabel* widget = slotWidget(2);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(widget->geometry(), QRect(300, 50, 200, 200));
    // Scaled from 64 x 48 to the whole slot: its far corner is the picture's colour too.
    const QImage screen = view->grab().toImage();
    EXPECT_EQ(screen.pixelColor(301, 51), QColor(Qt::yellow));
    EXPECT_EQ(screen.pixelColor(498, 248), QColor(Qt::yellow));
    EXPECT_EQ(screen.pixelColor(250, 150), QColor(Qt::black));
}

TEST_F(StimulusScreenTest, HidingTheWindowModelAtSessionEndHidesTheScreen) {
    form.setVisible(false);
    EXPECT_FALSE(view->isVisible());
    form.setVisible(true);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->windowState().testFlag(Qt::WindowFullScreen));
}

// Each slot pressed at its centre, with pictures up in slot `shown` only.
class StimulusScreenPressTest : public StimulusScreenTest, public ::testing::WithParamInterface<int> {};

TEST_P(StimulusScreenPressTest, PressOnTheShownPictureReachesTheModelAndHiddenSlotsTakeNone) {
    const int shown = GetParam();
    forms::PictureBox& slot = *slots[static_cast<std::size_t>(shown - 1)];
    slot.setPicturePath(writePicture("3.bmp", Qt::red));
    slot.setVisible(true);
    for (int index = 1; index <= 6; ++index)
        pressAt(QPoint(((index - 1) % 3) * 300 + 100, 50 + ((index - 1) / 3) * 300 + 100));
    // Between slots and above the slots: nothing.
    pressAt(QPoint(250, 150));
    pressAt(QPoint(100, 20));
    EXPECT_EQ(presses, std::vector<int>{shown});
    slot.setVisible(false);
    pressAt(QPoint(((shown - 1) % 3) * 300 + 100, 50 + ((shown - 1) / 3) * 300 + 100));
    EXPECT_EQ(presses, std::vector<int>{shown});
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(EverySlot, StimulusScreenPressTest, ::testing::Range(1, 7));

} // namespace
