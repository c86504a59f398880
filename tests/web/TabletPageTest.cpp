// The tablet page's link on real sockets: a browser's WebSocket handed from the page's server (on its
// own thread) to the tablet socket, under the TCP tablet's slot rule, allow-list and input bounds.
#include "web/TabletPage.h"
#include "qt/QtTabletSocket.h"
#include "qt/WebSocketLink.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using veltrum::platform::TabletSocket;
using veltrum::qt::QtTabletSocket;
using veltrum::web::TabletPageService;
namespace webSocket = veltrum::qt::webSocket;

namespace {

constexpr int waitLimitMs = 10000;

// A browser's frame: masked, as a browser must send it.
QByteArray clientFrame(const QByteArray& payload, quint8 opcode = 0x1, bool masked = true) {
    QByteArray frame;
    frame.append(static_cast<char>(0x80 | opcode));
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    const char bit = masked ? static_cast<char>(0x80) : 0;
    if (payload.size() < 126) {
        frame.append(static_cast<char>(bit | payload.size()));
    } else {
        frame.append(static_cast<char>(bit | 126));
        frame.append(static_cast<char>((payload.size() >> 8) & 0xff));
        frame.append(static_cast<char>(payload.size() & 0xff));
    }
    if (!masked)
        return frame + payload;
    frame.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        frame.append(static_cast<char>(payload[i] ^ mask[i % 4]));
    return frame;
}

QByteArray opening(quint16 port, const QByteArray& origin) {
    return "GET /link HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: " +
           origin + "\r\n\r\n";
}

// The chamber's side as the session drives it (accepting every request, listening again after a close)
// and the page's server handing it the links.
class TabletPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(images.isValid());
        ASSERT_TRUE(QDir(images.path()).mkdir(QStringLiteral("Images")));
        QFile picture(images.filePath(QStringLiteral("Images/7.bmp")));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("BM-seven");
        picture.close();
        TabletSocket::Events events;
        events.connectionRequest = [this](std::int32_t id) {
            ++requests;
            socket.accept(id);
        };
        events.dataArrival = [this] {
            const std::string arrived = socket.takeReceived();
            largestArrival = std::max(largestArrival, arrived.size());
            received += arrived;
        };
        events.closed = [this] {
            ++closes;
            socket.listen();
        };
        events.refused = [this](const std::string&) { ++refusals; };
        socket.setEvents(std::move(events));
        socket.setLocalPort(0);
        socket.listen();
        socket.setLocalPort(socket.localPort());
    }

    void servePage(const std::vector<std::string>& pageAllowed = {}) {
        TabletPageService::Settings settings;
        settings.allowed = veltrum::qt::HostAllowList(pageAllowed);
        settings.imageFolder = images.filePath(QStringLiteral("Images")).toStdString();
        ASSERT_EQ(
            page.start(settings,
                       [this](qintptr descriptor, const QByteArray& request) {
                           QMetaObject::invokeMethod(
                               &socket,
                               [this, descriptor, request] { socket.adoptBrowser(descriptor, request); },
                               Qt::QueuedConnection);
                       }),
            "");
    }

    // A browser opening the link; waits for the answer to its opening.
    std::unique_ptr<QTcpSocket> openBrowser(const QByteArray& origin = {}) {
        auto browser = std::make_unique<QTcpSocket>();
        browser->connectToHost(QHostAddress::LocalHost, page.port());
        EXPECT_TRUE(browser->waitForConnected(waitLimitMs));
        browser->write(opening(
            page.port(), origin.isEmpty() ? "http://127.0.0.1:" + QByteArray::number(page.port()) : origin));
        return browser;
    }

    static bool answered(QTcpSocket& browser) {
        return QTest::qWaitFor([&] { return browser.peek(200).contains("\r\n\r\n"); }, waitLimitMs) &&
               browser.readAll().startsWith("HTTP/1.1 101 ");
    }

    static bool closedByPeer(QTcpSocket& browser) {
        return QTest::qWaitFor([&] { return browser.state() == QAbstractSocket::UnconnectedState; },
                               waitLimitMs);
    }

    QByteArray get(const QByteArray& path) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, page.port());
        EXPECT_TRUE(client.waitForConnected(waitLimitMs));
        client.write("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QByteArray answer;
        [[maybe_unused]] const bool ended = QTest::qWaitFor(
            [&] {
                answer += client.readAll();
                return client.state() == QAbstractSocket::UnconnectedState;
            },
            waitLimitMs);
        return answer + client.readAll();
    }

    QTemporaryDir images;
    QtTabletSocket socket;
    TabletPageService page;
    int requests = 0;
    int closes = 0;
    int refusals = 0;
    std::size_t largestArrival = 0;
    std::string received;
};

// The page and its pictures are served; a browser's link is the tablet: touches arrive as the TCP
// tablet's bytes, display messages leave as one message each; a second browser, then a TCP tablet, then
// a browser again take the slot over, and the one replaced is closed without a word to the session.
TEST_F(TabletPageTest, BrowserIsTheTabletUnderTheTcpTabletsSlotRule) {
    servePage();
    EXPECT_TRUE(get("/").contains("Veltrum tablet"));
    EXPECT_TRUE(get("/images/7.bmp").contains("\r\n\r\nBM-seven"));
    EXPECT_TRUE(get("/images/1.bmp").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(get("/images/../7.bmp").startsWith("HTTP/1.1 404"));
    // A picture that is a link is never followed.
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/passwd"), images.filePath(QStringLiteral("Images/2.bmp"))));
    EXPECT_TRUE(get("/images/2.bmp").startsWith("HTTP/1.1 404"));

    auto first = openBrowser();
    ASSERT_TRUE(answered(*first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.browserConnected(); }, waitLimitMs));
    first->write(clientFrame("3\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "3\n"; }, waitLimitMs));
    socket.send("0,7,0,0,0,0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->bytesAvailable() >= 13; }, waitLimitMs));
    EXPECT_EQ(first->readAll(), webSocket::textFrame("0,7,0,0,0,0"));

    auto second = openBrowser();
    ASSERT_TRUE(answered(*second));
    EXPECT_TRUE(closedByPeer(*first));
    EXPECT_EQ(requests, 2);

    QTcpSocket tablet;
    tablet.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(socket.localPort()));
    ASSERT_TRUE(tablet.waitForConnected(waitLimitMs));
    EXPECT_TRUE(closedByPeer(*second));
    EXPECT_FALSE(socket.browserConnected());
    tablet.write("5\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "3\n5\n"; }, waitLimitMs));

    auto third = openBrowser();
    ASSERT_TRUE(answered(*third));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return tablet.state() == QAbstractSocket::UnconnectedState; }, waitLimitMs));
    EXPECT_TRUE(socket.browserConnected());
    EXPECT_EQ(requests, 4);
    EXPECT_EQ(closes, 0);
}

// An address the tablet's allow-list does not name is refused and reported as a TCP one is, even when
// the page itself was opened to it; an opening from another site's page is closed, never offered.
TEST_F(TabletPageTest, OnlyTheTabletsHostsAndTheirOwnPageMayOpenTheLink) {
    socket.setAllowedPeers({"192.0.2.7"});
    socket.listen();
    servePage({"any"});
    auto outsider = openBrowser();
    EXPECT_TRUE(closedByPeer(*outsider));
    EXPECT_EQ(refusals, 1);

    socket.setAllowedPeers({});
    socket.listen();
    auto foreign = openBrowser("http://evil.example");
    EXPECT_TRUE(closedByPeer(*foreign));
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(socket.state(), TabletSocket::Listening);
}

// What a browser may not send ends its link as the tablet closing it (the session listens again): an
// unmasked frame, a message over the bound. A flood of touches arrives whole, in bounded arrivals.
TEST_F(TabletPageTest, MalformedOversizedAndFloodedInputIsBounded) {
    servePage();
    auto unmasked = openBrowser();
    ASSERT_TRUE(answered(*unmasked));
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.browserConnected(); }, waitLimitMs));
    unmasked->write(clientFrame("1\n", 0x1, false));
    EXPECT_TRUE(QTest::qWaitFor([&] { return closes == 1; }, waitLimitMs));

    auto oversized = openBrowser();
    ASSERT_TRUE(answered(*oversized));
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.browserConnected(); }, waitLimitMs));
    oversized->write(clientFrame(QByteArray(webSocket::maxMessageBytes + 1, '1')));
    EXPECT_TRUE(QTest::qWaitFor([&] { return closes == 2; }, waitLimitMs));
    EXPECT_TRUE(received.empty());

    auto flooding = openBrowser();
    ASSERT_TRUE(answered(*flooding));
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.browserConnected(); }, waitLimitMs));
    QByteArray flood;
    for (int i = 0; i < 100'000; ++i)
        flood += clientFrame("4\n");
    flooding->write(flood);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 200'000; }, 30'000));
    EXPECT_LE(largestArrival, static_cast<std::size_t>(QtTabletSocket::readBufferBytes));
    EXPECT_EQ(closes, 2);
}

// Frames split anywhere, fragmented messages and pings are read as a browser may send them.
TEST(WebSocketFramesTest, SplitFragmentedAndControlFrames) {
    QByteArray bytes = clientFrame("1", 0x1);
    bytes[0] = static_cast<char>(bytes[0] & 0x7f); // not the last frame of its message
    bytes += clientFrame("ping", 0x9) + clientFrame("2\n", 0x0) + clientFrame("6\n");
    webSocket::FrameReader reader;
    std::string messages;
    QByteArray replies;
    for (const char byte : bytes)
        ASSERT_EQ(reader.feed(QByteArray(1, byte), messages, replies),
                  webSocket::FrameReader::Verdict::Going);
    EXPECT_EQ(messages, "12\n6\n");
    EXPECT_EQ(replies, QByteArray("\x8a\x04ping", 6));
    EXPECT_EQ(reader.feed(clientFrame({}, 0x8), messages, replies), webSocket::FrameReader::Verdict::Closed);
    EXPECT_EQ(webSocket::handshakeAnswer(opening(1, "http://127.0.0.1:1")).split('\n').at(3).trimmed(),
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

} // namespace
