#include "qt/QtTabletSocket.h"
#include "tablet/AutoPecker.h"
#include "tablet/DisplayStream.h"
#include "tablet/TabletLink.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using veltrum::platform::TabletSocket;
using veltrum::tablet::Display;
using veltrum::tablet::DisplayStream;

constexpr int waitLimitMs = 10000;

struct DisplayCase {
    const char* name;
    std::vector<std::string> arrivals;
    std::vector<Display> displays;
    std::string pendingAfter;
};

std::ostream& operator<<(std::ostream& out, const DisplayCase& c) {
    return out << c.name;
}

class DisplayStreamTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayStreamTest, ReadsEveryMessageOnce) {
    DisplayStream stream;
    std::vector<Display> displays;
    for (const std::string& arrival : GetParam().arrivals)
        for (const Display& display : stream.feed(arrival))
            displays.push_back(display);
    EXPECT_EQ(displays, GetParam().displays);
    EXPECT_EQ(stream.pending(), GetParam().pendingAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, DisplayStreamTest,
    ::testing::Values(
        DisplayCase{"Blank", {"0,0,0,0,0,0"}, {{0, 0, 0, 0, 0, 0}}, ""},
        DisplayCase{"SimDiscPair", {"3,0,4,0,0,0"}, {{3, 0, 4, 0, 0, 0}}, ""},
        DisplayCase{"TwoMessagesRunTogether",
                    {"0,7,0,0,0,00,0,0,0,0,0"},
                    {{0, 7, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
                    ""},
        DisplayCase{"LastFieldPictureRunsIntoNext", {"0,0,0,0,0,60,0,0,0,0,0"}, {{0, 0, 0, 0, 0, 6}, {}}, ""},
        DisplayCase{"SplitBeforeTheSixthField", {"0,7,0,", "0,0,", "0"}, {{0, 7, 0, 0, 0, 0}}, ""},
        DisplayCase{"IncompleteWaits", {"0,7,0,0,0,"}, {}, "0,7,0,0,0,"},
        DisplayCase{"MalformedSkipped", {"x,0,0,0,0,0", "0,2,0,0,0,0"}, {{0, 2, 0, 0, 0, 0}}, ""},
        DisplayCase{"GarbageWithoutCommasIsBounded", {std::string(300, 'z')}, {}, ""}),
    [](const ::testing::TestParamInfo<DisplayCase>& info) { return std::string(info.param.name); });

TEST(AutoPeckerTest, SameSeedPecksTheSamePositionsAndAccuracyHolds) {
    const Display auto7{0, 7, 0, 0, 0, 0};
    veltrum::tablet::AutoPecker first(10, 0.8, 42);
    veltrum::tablet::AutoPecker second(10, 0.8, 42);
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const int position = first.choose(auto7);
        ASSERT_EQ(position, second.choose(auto7));
        ASSERT_GE(position, 1);
        ASSERT_LE(position, 6);
        hits += position == 2;
    }
    EXPECT_NEAR(hits / 2000.0, 0.8, 0.05);
    EXPECT_EQ(first.choose(Display{}), 0);
}

// The tablet application's link against the controller's socket adapter on loopback.
class TabletLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        TabletSocket::Events events;
        events.connectionRequest = [this](std::int32_t id) {
            server.close();
            server.accept(id);
        };
        events.dataArrival = [this] { received += server.takeReceived(); };
        events.closed = [this] { server.listen(); };
        server.setEvents(std::move(events));
        server.setLocalPort(0);
        server.listen();
        server.setLocalPort(server.localPort());
        ASSERT_TRUE(folder.isValid());
        logPath = folder.filePath(QStringLiteral("tablet.log"));
    }
    bool connected() { return server.state() == TabletSocket::Connected; }
    QString log() {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    veltrum::qt::QtTabletSocket server;
    QTemporaryDir folder;
    QString logPath;
    std::string received;
};

TEST_F(TabletLinkTest, ShowsDisplaysSendsTouchesAndReconnectsAfterTheLinkDrops) {
    veltrum::tablet::TabletLink link(QStringLiteral("127.0.0.1"), static_cast<quint16>(server.localPort()),
                                     logPath);
    std::vector<Display> shown;
    link.setOnDisplay([&](const Display& display) { shown.push_back(display); });
    link.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected() && link.isConnected(); }, waitLimitMs));

    server.send("0,7,0,0,0,0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty(); }, waitLimitMs));
    EXPECT_EQ(shown.back(), (Display{0, 7, 0, 0, 0, 0}));
    ASSERT_TRUE(link.sendTouch(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "2\n"; }, waitLimitMs));

    // The controller drops the link and listens again: the tablet blanks and comes back by itself.
    server.close();
    server.listen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link.isConnected(); }, waitLimitMs));
    EXPECT_EQ(shown.back(), Display{});
    EXPECT_FALSE(link.sendTouch(5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected() && link.isConnected(); }, waitLimitMs));
    ASSERT_TRUE(link.sendTouch(4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "2\n4\n"; }, waitLimitMs));

    const QStringList lines = log().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList events;
    for (const QString& line : lines)
        events.append(line.section(QLatin1Char(' '), 1));
    EXPECT_EQ(events, (QStringList{QStringLiteral("connected"), QStringLiteral("received 0,7,0,0,0,0"),
                                   QStringLiteral("sent 2"), QStringLiteral("disconnected"),
                                   QStringLiteral("connected"), QStringLiteral("sent 4")}));
}

TEST_F(TabletLinkTest, FloodingTabletIsReadInBoundedArrivals) {
    std::size_t largestArrival = 0;
    std::size_t total = 0;
    TabletSocket::Events events;
    events.connectionRequest = [this](std::int32_t id) {
        server.close();
        server.accept(id);
    };
    events.dataArrival = [&] {
        const std::size_t size = server.takeReceived().size();
        largestArrival = std::max(largestArrival, size);
        total += size;
    };
    server.setEvents(std::move(events));
    QTcpSocket tablet;
    tablet.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(server.localPort()));
    ASSERT_TRUE(tablet.waitForConnected(waitLimitMs));
    const QByteArray flood(8 * 1024 * 1024, '1');
    tablet.write(flood);
    ASSERT_TRUE(QTest::qWaitFor([&] { return total == static_cast<std::size_t>(flood.size()); }, 60000));
    EXPECT_LE(largestArrival, static_cast<std::size_t>(veltrum::qt::QtTabletSocket::readBufferBytes));
}

} // namespace
