// The status server on real sockets: who may connect, which paths answer, and the bounds a slow, large
// or numerous client meets. Limits are made small so each case ends within a second.
#include "web/WebServer.h"
#include "IdleConnections.h"

#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using veltrum::qt::HostAllowList;
using veltrum::web::Limits;
using veltrum::web::WebServer;

namespace {

constexpr int waitLimitMs = 10000;

// Sends `request` as raw bytes (a browser or curl would tidy the path first) and returns everything the
// server answered until it closed the connection. The server runs on this thread: the event loop turns
// while the client waits.
QByteArray exchange(quint16 port, const QByteArray& request) {
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    // The kernel completes the connection before the server, on this thread, takes it.
    if (!client.waitForConnected(waitLimitMs))
        return {};
    client.write(request);
    QByteArray answer;
    if (!QTest::qWaitFor(
            [&] {
                answer += client.readAll();
                return client.state() == QAbstractSocket::UnconnectedState;
            },
            waitLimitMs))
        ADD_FAILURE() << "the server did not close the connection";
    return answer;
}

class WebServerTest : public ::testing::Test {
protected:
    void listen(const Limits& limits = {}, const HostAllowList& allowed = {}) {
        server = std::make_unique<WebServer>(limits);
        server->addResource(QStringLiteral("/"), "text/html", "<p>page</p>");
        server->addResource(QStringLiteral("/view.js"), "text/javascript", "// script");
        server->addEventStream(QStringLiteral("/events"),
                               [] { return WebServer::eventMessage("status", "{}"); });
        ASSERT_EQ(server->listen(0, allowed), "");
        port = server->port();
    }

    std::unique_ptr<WebServer> server;
    quint16 port = 0;
};

TEST_F(WebServerTest, AHostOutsideTheAllowListIsRefusedBeforeAnyRequest) {
    listen({}, HostAllowList({"10.99.0.1"})); // every interface, one other host admitted
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(client.waitForConnected(waitLimitMs));
    client.write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }, waitLimitMs));
    EXPECT_EQ(client.bytesAvailable(), 0);
    EXPECT_EQ(server->counts().refusedHosts, 1U);
    EXPECT_EQ(server->counts().served, 0U);

    // The same server admitting this host answers.
    listen({}, HostAllowList({"127.0.0.0/8"}));
    EXPECT_TRUE(
        exchange(port, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").startsWith("HTTP/1.1 200"));
}

TEST_F(WebServerTest, OnlyThePagesOwnPathsAnswerAndEveryAnswerCarriesThePolicy) {
    listen();
    const QByteArray page = exchange(port, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200"));
    EXPECT_TRUE(page.contains("Content-Security-Policy: default-src 'none'; script-src 'self'"));
    EXPECT_TRUE(page.contains("X-Content-Type-Options: nosniff"));
    EXPECT_TRUE(page.endsWith("<p>page</p>"));
    for (const char* path :
         {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/%2E%2E%2F%2E%2E%2Fetc%2Fpasswd",
          "/..%2f..%2fetc%2fpasswd", "/view.js/../../../etc/passwd", "//etc/passwd", "/etc/passwd",
          "/%252e%252e/etc/passwd", "/./view.js/..%5c..%5cetc%5cpasswd", "/..;/etc/passwd"}) {
        const QByteArray answer =
            exchange(port, QByteArray("GET ") + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 404")) << path << ": " << answer.left(40).toStdString();
        EXPECT_FALSE(answer.contains("root:")) << path;
        EXPECT_TRUE(answer.contains("Content-Security-Policy")) << path;
    }
    EXPECT_TRUE(
        exchange(port, "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi")
            .startsWith("HTTP/1.1 405"));
    EXPECT_TRUE(exchange(port, "DELETE /view.js HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                    .startsWith("HTTP/1.1 405"));
}

TEST_F(WebServerTest, ATenMegabyteRequestIsRefusedBeforeItIsRead) {
    Limits limits;
    limits.requestBytes = 16 * 1024;
    listen(limits);
    for (const QByteArray& head :
         {QByteArray("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 10485760\r\n\r\n"),
          QByteArray("GET / HTTP/1.1\r\nHost: x\r\nX-Filler: ")}) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(client.waitForConnected(waitLimitMs));
        client.write(head);
        const QByteArray chunk(64 * 1024, 'a');
        qint64 sent = 0;
        // The client pushes its ten megabytes as fast as the server takes them; the server stops taking
        // them long before the end.
        while (sent < 10 * 1024 * 1024 && client.state() == QAbstractSocket::ConnectedState) {
            if (client.bytesToWrite() < 4 * chunk.size()) {
                client.write(chunk);
                sent += chunk.size();
            }
            QTest::qWait(1);
        }
        EXPECT_LT(sent, 1024 * 1024);
        EXPECT_TRUE(QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; },
                                    waitLimitMs));
        const QByteArray answer = client.readAll();
        // The 413 comes first; a client still sending when the server closes may see a reset instead.
        EXPECT_TRUE(answer.isEmpty() || answer.startsWith("HTTP/1.1 413")) << answer.left(40).toStdString();
    }
    EXPECT_EQ(server->counts().tooLarge, 2U);
    EXPECT_EQ(server->counts().served, 0U);
}

TEST_F(WebServerTest, SlowIdleAndNumerousClientsAreEndedOrRefused) {
    Limits limits;
    limits.requestMs = 300;
    limits.idleMs = 300;
    limits.connections = 40;
    limits.connectionsPerAddress = 30;
    limits.sweepMs = 50;
    listen(limits);

    // A thousand connections that say nothing: thirty are let in from this address, the rest reset at once.
    auto idle = std::make_unique<veltrum::testing::IdleConnections>(port, 1000);
    ASSERT_EQ(idle->size(), 1000U);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->counts().overLimit + server->counts().open >= 1000; },
                                waitLimitMs));
    EXPECT_EQ(server->counts().open, 30);
    EXPECT_EQ(server->counts().overLimit, 970U);
    // Then the idle ones are ended, and the server takes new connections again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->counts().open == 0; }, waitLimitMs));
    idle.reset();

    // A slowloris client: a header line started and fed a byte at a time, never finished.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(slow.waitForConnected(waitLimitMs));
    slow.write("GET / HTTP/1.1\r\nX-a: ");
    QByteArray answer;
    for (int i = 0; i < 40 && slow.state() != QAbstractSocket::UnconnectedState; ++i) {
        slow.write("a");
        QTest::qWait(50);
        answer += slow.readAll();
    }
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return slow.state() == QAbstractSocket::UnconnectedState; }, waitLimitMs));
    answer += slow.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 408")) << answer.left(40).toStdString();
    EXPECT_EQ(server->counts().timedOut, 31U);

    // A well-behaved client is served all along.
    EXPECT_TRUE(exchange(port, "GET /view.js HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                    .startsWith("HTTP/1.1 200"));
}

TEST_F(WebServerTest, EventStreamsAreCountedAndAClientThatDoesNotReadIsDropped) {
    Limits limits;
    limits.eventStreams = 2;
    limits.streamBacklogBytes = 256 * 1024;
    listen(limits);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(clients.back()->waitForConnected(waitLimitMs));
        clients.back()->write("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return clients.back()->bytesAvailable() > 0; }, waitLimitMs));
    }
    EXPECT_TRUE(clients[0]->readAll().contains("event: status\ndata: {}\n\n"));
    EXPECT_TRUE(clients[2]->readAll().startsWith("HTTP/1.1 503")) << "a third stream is one too many";
    EXPECT_EQ(server->counts().streams, 2);

    // The first client reads every message; the second reads nothing, and falls behind until dropped.
    clients[1]->setReadBufferSize(1);
    const QByteArray big(16 * 1024, 'x');
    qint64 read = 0;
    for (int i = 0; i < 2000 && server->counts().slowStreams == 0; ++i) {
        server->broadcast(QStringLiteral("/events"), "update", "\"" + big + "\"");
        QTest::qWait(0);
        read += clients[0]->readAll().size();
    }
    EXPECT_EQ(server->counts().slowStreams, 1U);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->counts().streams == 1; }, waitLimitMs));
    EXPECT_GT(read, 0);
}

} // namespace
