#include "qt/QtTabletSocket.h"

#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <memory>
#include <stdexcept>
#include <vector>

using veltrum::platform::TabletSocket;
using veltrum::qt::QtTabletSocket;

namespace {

constexpr int waitLimitMs = 10000;

// The link as the session drives it: a request is accepted (the port listens on); a tablet that goes
// away makes it listen again.
class QtTabletSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        TabletSocket::Events events;
        events.connectionRequest = [this](std::int32_t id) {
            ++requests;
            socket.accept(id);
        };
        events.dataArrival = [this] { received += socket.takeReceived(); };
        events.closed = [this] {
            ++closes;
            socket.listen();
        };
        socket.setEvents(std::move(events));
        socket.setLocalPort(0);
        socket.listen();
        port = static_cast<quint16>(socket.localPort());
        socket.setLocalPort(port);
    }

    std::unique_ptr<QTcpSocket> connectTablet() {
        auto tablet = std::make_unique<QTcpSocket>();
        tablet->connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(tablet->waitForConnected(waitLimitMs));
        return tablet;
    }

    QtTabletSocket socket;
    quint16 port = 0;
    int requests = 0;
    int closes = 0;
    std::string received;
};

TEST_F(QtTabletSocketTest, ListensOnAChosenPortAndClosesCompletely) {
    EXPECT_EQ(socket.state(), TabletSocket::Listening);
    EXPECT_GT(port, 0);
    socket.close();
    EXPECT_EQ(socket.state(), TabletSocket::Closed);
    QTcpSocket tablet;
    tablet.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(tablet.waitForConnected(2000));
}

TEST_F(QtTabletSocketTest, AcceptedTabletExchangesMessagesBothWays) {
    auto tablet = connectTablet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    EXPECT_EQ(requests, 1);

    tablet->write("4");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "4"; }, waitLimitMs));

    socket.send("7,0,0,0,0,0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tablet->bytesAvailable() >= 11; }, waitLimitMs));
    EXPECT_EQ(tablet->readAll(), QByteArray("7,0,0,0,0,0"));
}

TEST_F(QtTabletSocketTest, LastMessageBeforeCloseReachesTheTablet) {
    auto tablet = connectTablet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    socket.send("0,0,0,0,0,0");
    socket.close();
    EXPECT_EQ(socket.state(), TabletSocket::Closed);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tablet->bytesAvailable() >= 11; }, waitLimitMs));
    EXPECT_EQ(tablet->readAll(), QByteArray("0,0,0,0,0,0"));
    EXPECT_EQ(closes, 0);
}

TEST_F(QtTabletSocketTest, TabletLeavingReportsCloseAndTheLinkListensAgain) {
    auto tablet = connectTablet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    tablet->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closes == 1; }, waitLimitMs));
    EXPECT_EQ(socket.state(), TabletSocket::Listening);

    auto next = connectTablet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    EXPECT_EQ(requests, 2);
}

// A dead link is found by TCP keep-alive within seconds: the accepted connection carries the options.
TEST_F(QtTabletSocketTest, AcceptedTabletIsWatchedByKeepAlive) {
    auto tablet = connectTablet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    const int fd = static_cast<int>(socket.connectionDescriptor());
    ASSERT_GE(fd, 0);
    const auto option = [fd](int level, int name) {
        int value = -1;
        socklen_t length = sizeof value;
        EXPECT_EQ(::getsockopt(fd, level, name, &value, &length), 0);
        return value;
    };
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), 2);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), 1);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), 3);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_USER_TIMEOUT), 5000);
}

// With no address named the port is open on the loopback only; "any" opens it to every host, and a
// subnet of length 0 is refused in favour of "any".
TEST_F(QtTabletSocketTest, LoopbackOnlyUntilAddressesOrAnyAreNamed) {
    const std::vector<std::string> loopback = socket.listeningAddresses();
    ASSERT_FALSE(loopback.empty());
    EXPECT_EQ(loopback[0], "127.0.0.1");
    EXPECT_TRUE(loopback.size() == 1 || loopback[1] == "::1");
    QTcpSocket elsewhere; // 127.0.0.2 is on the loopback interface but not the address listened on
    elsewhere.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), port);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return elsewhere.state() == QAbstractSocket::UnconnectedState; }, waitLimitMs));
    EXPECT_EQ(elsewhere.error(), QAbstractSocket::ConnectionRefusedError);

    try {
        socket.setAllowedPeers({"0.0.0.0/0"});
        FAIL() << "a subnet of length 0 was accepted";
    } catch (const std::invalid_argument& refused) {
        EXPECT_NE(std::string(refused.what()).find("\"any\""), std::string::npos) << refused.what();
    }
    socket.setAllowedPeers({"10.1.2.3", "any"});
    socket.listen();
    EXPECT_EQ(socket.listeningAddresses(),
              (std::vector<std::string>{QHostAddress(QHostAddress::Any).toString().toStdString()}));
    QTcpSocket tablet;
    ASSERT_TRUE(tablet.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    tablet.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    EXPECT_EQ(socket.peerAddress(), "127.0.0.2");
}

TEST_F(QtTabletSocketTest, SendingWithoutATabletFails) {
    EXPECT_THROW(socket.send("0,0,0,0,0,0"), std::runtime_error);
}

class QtTabletSocketBadPortTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(QtTabletSocketBadPortTest, ListeningFailsWithThePortInTheMessage) {
    QtTabletSocket socket;
    socket.setLocalPort(GetParam());
    try {
        socket.listen();
        FAIL() << "listen() accepted port " << GetParam();
    } catch (const std::runtime_error& failure) {
        EXPECT_NE(std::string(failure.what()).find(std::to_string(GetParam())), std::string::npos)
            << failure.what();
    }
    EXPECT_EQ(socket.state(), TabletSocket::Closed);
}

INSTANTIATE_TEST_SUITE_P(OutOfRange, QtTabletSocketBadPortTest, ::testing::Values(-1, 65536, 100000));

TEST(QtTabletSocketPortInUseTest, ListeningOnABusyPortFails) {
    QtTabletSocket first;
    first.setLocalPort(0);
    first.listen();
    QtTabletSocket second;
    second.setLocalPort(first.localPort());
    EXPECT_THROW(second.listen(), std::runtime_error);
    EXPECT_EQ(first.state(), TabletSocket::Listening);
}

} // namespace

namespace {

// Only the tablet's address may hold the link: a host that connects first from elsewhere is turned away
// and reported, and the tablet then connects as usual.
TEST_F(QtTabletSocketTest, OnlyAnAllowedAddressMayBeTheTablet) {
    std::vector<std::string> refused;
    TabletSocket::Events events;
    events.connectionRequest = [this](std::int32_t id) {
        socket.close();
        socket.accept(id);
    };
    events.refused = [&](const std::string& address) { refused.push_back(address); };
    socket.setEvents(std::move(events));
    socket.setAllowedPeers({"10.1.2.3", "127.0.0.2/32"});
    socket.listen();

    auto intruder = connectTablet(); // from 127.0.0.1
    ASSERT_TRUE(QTest::qWaitFor([&] { return !refused.empty(); }, waitLimitMs));
    EXPECT_EQ(refused, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(socket.state(), TabletSocket::Listening);

    QTcpSocket tablet;
    ASSERT_TRUE(tablet.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    tablet.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == TabletSocket::Connected; }, waitLimitMs));
    EXPECT_EQ(socket.peerAddress(), "127.0.0.2");
    EXPECT_THROW(socket.setAllowedPeers({"10.1.2.300"}), std::invalid_argument);
    EXPECT_THROW(socket.setAllowedPeers({"tablet.lab"}), std::invalid_argument);
}

} // namespace
