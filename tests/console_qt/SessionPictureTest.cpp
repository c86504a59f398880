// The session's picture: written next to the session workbook when the session ends, with the record
// drawn, shown in the summary window, and set aside with the workbook of a discarded session.
#include "SessionDriver.h"

#include "app/SessionViews.h"
#include "qt/CrtWindow.h"
#include "qt/Form1Window.h"
#include "session/Form1.h"

#include <QCoreApplication>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace veltrum::testing {
namespace {

bool near(QRgb pixel, int red, int green, int blue, int within) {
    return std::abs(qRed(pixel) - red) <= within && std::abs(qGreen(pixel) - green) <= within &&
           std::abs(qBlue(pixel) - blue) <= within;
}

TEST(SessionPicture, IsWrittenNextToTheWorkbookWithTheRecordDrawnAndShownInTheSummary) {
    ScenarioHarness h; // SimDisc: 12 trials
    qt::CrtWindow panel(h.window());
    app::SessionViews views(h.window(), panel, {false, false});
    h.start(4);
    peckThroughSession(h);
    ASSERT_EQ(h.summaryOpenings, 1);
    QCoreApplication::processEvents();

    const std::string picturePath = h.folder() + "/Results/S1.1.png";
    EXPECT_EQ(views.picturePath().toStdString(), picturePath);
    QImage picture(QString::fromStdString(picturePath));
    ASSERT_FALSE(picture.isNull());
    // The pen is drawn near black; reinforcers green, timeouts red. Count where they were drawn.
    std::set<int> penColumns;
    int reinforcerPixels = 0;
    int timeoutPixels = 0;
    for (int y = 40; y < picture.height() - 60; ++y)
        for (int x = 60; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            if (near(pixel, 20, 20, 20, 30))
                penColumns.insert(x);
            reinforcerPixels += near(pixel, 0, 150, 60, 25);
            timeoutPixels += near(pixel, 210, 40, 40, 25);
        }
    EXPECT_GT(penColumns.size(), 100u) << "the pen's path runs along the session";
    EXPECT_GT(reinforcerPixels, 20);
    EXPECT_GT(timeoutPixels, 20);

    session::Form1 summary(h.window().endedSession(), h.window().services());
    qt::Form1Window summaryWindow(summary);
    summary.Form_Load();
    views.summaryOpened(summaryWindow);
    auto* shown = summaryWindow.findChild<QLabel*>(QStringLiteral("SessionRecord"));
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->pixmap().isNull());
    EXPECT_FALSE(shown->isHidden());
    for (const char* total : {"Trials", "HopPC", "Pecks", "Label1"})
        EXPECT_FALSE(shown->geometry().intersects(
            summaryWindow.findChild<QWidget*>(QString::fromLatin1(total))->geometry()))
            << total;
    forms::Int16 keyC = 'C';
    summary.Form_KeyPress(keyC);
    EXPECT_TRUE(shown->isHidden()) << "the comment box takes the picture's place";

    // A discarded session's picture is set aside with its workbook, under the same name.
    summary.DiscardSession();
    EXPECT_FALSE(std::filesystem::exists(picturePath));
    EXPECT_TRUE(std::filesystem::exists(h.folder() + "/Results/S1.1.discarded.xls"));
    EXPECT_TRUE(std::filesystem::exists(h.folder() + "/Results/S1.1.discarded.png"));
    EXPECT_EQ(views.picturePath().toStdString(), h.folder() + "/Results/S1.1.discarded.png");
    ASSERT_FALSE(h.dialogs.messages().empty());
    EXPECT_NE(h.dialogs.messages().back().text.find("S1.1.discarded.png"), std::string::npos)
        << h.dialogs.messages().back().text;
}

} // namespace
} // namespace veltrum::testing
