#include "qt/QtTabletSocket.h"
#include "session/crt.h"
#include "support/SessionFixture.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace veltrum;

constexpr int waitLimitMs = 10000;
const QByteArray blank("0,0,0,0,0,0");
const QByteArray auto7("0,7,0,0,0,0");

// A port free at the moment of asking, for the controller to listen on.
int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The real main window on the Qt socket adapter, its trial timers in virtual time, and a tablet played
// by a QTcpSocket on loopback, on a copy of the demo data folder.
class TabletLoopbackTest : public ::testing::Test, protected veltrum::testing::SessionFixture {
protected:
    void SetUp() override {
        port = freePort();
        writeFile("PortNumber.txt", std::to_string(port) + "\r\n");
        useSocket(socket);
        model = &window();
        model->Form_Load();
    }
    // The main window goes before the socket it listens on.
    void TearDown() override { restart(); }

    std::unique_ptr<QTcpSocket> connectTablet() {
        auto tablet = std::make_unique<QTcpSocket>();
        tablet->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        EXPECT_TRUE(tablet->waitForConnected(waitLimitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return socket.state() == platform::TabletSocket::Connected; },
                                    waitLimitMs));
        return tablet;
    }
    // Everything the tablet has received once `expected` bytes are in.
    QByteArray readAtLeast(QTcpSocket& tablet, qsizetype expected) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() + tablet.bytesAvailable() >= expected; },
                                    waitLimitMs));
        received += tablet.readAll();
        return received;
    }
    void runToStimulus() {
        for (int ms = 0; ms < 60000 && !model->engine().timers().Stimulus.isEnabled(); ms += 10)
            scheduler.advanceBy(10);
        ASSERT_TRUE(model->engine().timers().Stimulus.isEnabled());
    }
    void send(QTcpSocket& tablet, const QByteArray& bytes, int rowsAfter) {
        tablet.write(bytes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rowCount() == rowsAfter; }, waitLimitMs))
            << bytes.constData();
    }
    int rowCount() {
        return model->engine().state().TargetPecks.toInt() + model->engine().state().NonTargetPecks.toInt();
    }

    qt::QtTabletSocket socket; // in place of the fixture's fake
    int port = 0;
    session::crt* model = nullptr;
    QByteArray received;
};

TEST_F(TabletLoopbackTest, WholeSessionSendsEveryDisplayMessageByteForByteAndScoresTouches) {
    auto tablet = connectTablet();
    EXPECT_EQ(model->link.Label2.caption(), "1");
    model->panel.Combo1.select(1);
    model->panel.Command1.click();
    QByteArray expected = blank;
    EXPECT_EQ(readAtLeast(*tablet, expected.size()), expected);

    forms::Int16 keyS = 'S';
    model->Form_KeyPress(keyS);
    runToStimulus();
    expected += auto7;
    EXPECT_EQ(readAtLeast(*tablet, expected.size()), expected);

    // A wrong touch before the fixed interval, then the goal after it: food, and the tablet blanked.
    send(*tablet, "5\n", 1);
    EXPECT_EQ(model->engine().state().Outcome, "PreFINotGoal");
    scheduler.advanceBy(1000);
    send(*tablet, "2\n", 2);
    EXPECT_EQ(model->engine().state().Outcome, "Reward");
    EXPECT_EQ(model->screen.Label1.caption(), "Reinforce");
    expected += blank;
    EXPECT_EQ(readAtLeast(*tablet, expected.size()), expected);

    // The rest of the session: every trial shows and blanks; the end blanks twice and closes the link.
    while (model->Form.isVisible()) {
        const bool wasShown = model->engine().timers().Stimulus.isEnabled();
        scheduler.advanceBy(10);
        if (!wasShown && model->engine().timers().Stimulus.isEnabled())
            expected += auto7;
        if (wasShown && !model->engine().timers().Stimulus.isEnabled())
            expected += blank;
        ASSERT_LT(scheduler.nowMs(), 30 * 60000);
    }
    expected += blank;
    EXPECT_EQ(readAtLeast(*tablet, expected.size()), expected);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return tablet->state() == QAbstractSocket::UnconnectedState; }, waitLimitMs));
    EXPECT_EQ(socket.state(), platform::TabletSocket::Closed);
}

TEST_F(TabletLoopbackTest, BadAndFragmentedInputThenAReconnectingTablet) {
    auto tablet = connectTablet();
    model->panel.Combo1.select(1);
    model->panel.Command1.click();
    forms::Int16 keyS = 'S';
    model->Form_KeyPress(keyS);
    runToStimulus();

    tablet->write("hello\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->link.Label2.caption() == "?"; }, waitLimitMs));
    EXPECT_EQ(rowCount(), 0);
    // A touch written in two pieces (one arrival or two, as TCP delivers them) is one touch.
    tablet->write("4");
    tablet->flush();
    send(*tablet, "\n", 1);
    EXPECT_EQ(model->link.Label2.caption(), "4");

    tablet->disconnectFromHost();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return socket.state() == platform::TabletSocket::Listening; }, waitLimitMs));
    auto again = connectTablet();
    EXPECT_EQ(model->link.Label2.caption(), "2");
    send(*again, "6\n", 2);
    EXPECT_TRUE(dialogs.messages().empty());
}

// A host that connects first and says nothing cannot keep the tablet out: the tablet connects next, takes
// the link over, receives the next display message and has its touches scored; the operator is told in a
// notice, never a box.
TEST_F(TabletLoopbackTest, TabletTakesTheLinkOverFromASilentConnection) {
    auto silent = connectTablet();
    model->panel.Combo1.select(1);
    model->panel.Command1.click();
    forms::Int16 keyS = 'S';
    model->Form_KeyPress(keyS);

    auto tablet = std::make_unique<QTcpSocket>();
    tablet->connectToHost(QHostAddress::LocalHostIPv6, static_cast<quint16>(port));
    if (!tablet->waitForConnected(waitLimitMs)) { // a machine without IPv6
        tablet->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        ASSERT_TRUE(tablet->waitForConnected(waitLimitMs));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->link.Label2.caption() == "2"; }, waitLimitMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return silent->state() == QAbstractSocket::UnconnectedState; }, waitLimitMs));
    EXPECT_NE(dialogs.currentNotice().find("took the tablet link over"), std::string::npos);

    runToStimulus();
    EXPECT_EQ(readAtLeast(*tablet, auto7.size()), auto7);
    send(*tablet, "5\n", 1);
    EXPECT_EQ(model->engine().state().Outcome, "PreFINotGoal");
    EXPECT_TRUE(dialogs.messages().empty());
}

// A flood of connections from an address that may not be the tablet is turned away without holding up
// the port: the tablet connects after 500 of them and is served, and one notice tells of them.
TEST_F(TabletLoopbackTest, FloodFromARefusedAddressNeitherStallsThePortNorStacksNotices) {
    restart();
    writeFile("TabletAddress.txt", "127.0.0.1\r\n");
    model = &window();
    model->Form_Load();

    const QHostAddress refusedSource(QStringLiteral("127.0.0.2"));
    for (int batch = 0; batch < 10; ++batch) {
        std::vector<std::unique_ptr<QTcpSocket>> flood;
        for (int i = 0; i < 50; ++i) {
            auto intruder = std::make_unique<QTcpSocket>();
            ASSERT_TRUE(intruder->bind(refusedSource));
            intruder->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            flood.push_back(std::move(intruder));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return socket.refusedCount() == 50u * (batch + 1u); }, waitLimitMs))
            << socket.refusedCount();
    }
    auto tablet = connectTablet();
    EXPECT_EQ(model->link.TabletAddress.caption(), "tablet at 127.0.0.1");
    model->panel.Combo1.select(1);
    model->panel.Command1.click();
    EXPECT_EQ(readAtLeast(*tablet, blank.size()), blank);
    EXPECT_EQ(dialogs.notices().size(), 1u);
    EXPECT_NE(dialogs.currentNotice().find("127.0.0.2"), std::string::npos);
    EXPECT_TRUE(dialogs.messages().empty());
}

} // namespace
