// The chamber's status document and its updates, over a whole session in virtual time, and the service
// that serves them from its own thread.
#include "web/ChamberStatus.h"
#include "DemoSession.h"
#include "IdleConnections.h"
#include "ScenarioHarness.h"
#include "SessionDriver.h"
#include "web/StatusService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace veltrum;

namespace {

constexpr int waitLimitMs = 10000;

// A page that took the whole document once and every update after it holds the same document as the
// chamber, however the events were batched; the figures it shows are the session's.
TEST(ChamberStatus, APageFollowingTheUpdatesEndsWithTheChambersDocument) {
    veltrum::testing::ScenarioHarness h; // SimDisc: 12 trials of two pictures, timeouts, head entries
    web::ChamberStatus status;
    QJsonObject page = status.whole();
    std::vector<web::PublishedEvent> batch;
    int batches = 0;
    const auto subscription = h.window().events().subscribe([&](const engine::SessionEvent& event) {
        batch.push_back({event, 0});
        // Batches of one to four events, as the server's thread finds them.
        if (batch.size() > static_cast<std::size_t>(batches % 4)) {
            web::applyUpdate(page, status.take(batch, h.window().snapshot()));
            batch.clear();
            ++batches;
        }
    });
    h.start(4);
    veltrum::testing::peckThroughSession(h);
    h.window().events().unsubscribe(subscription);
    web::applyUpdate(page, status.take(batch, h.window().snapshot()));
    ASSERT_EQ(h.summaryOpenings, 1);
    ASSERT_GT(batches, 40);

    EXPECT_EQ(page, status.whole());
    const engine::SessionSnapshot f = h.window().snapshot();
    const QJsonObject figures = page.value(QStringLiteral("figures")).toObject();
    EXPECT_EQ(figures.value(QStringLiteral("goalPecks")).toInt(), f.target);
    EXPECT_EQ(figures.value(QStringLiteral("nonGoalPecks")).toInt(), f.screen - f.target);
    EXPECT_EQ(figures.value(QStringLiteral("timeouts")).toInt(), f.timeouts);
    ASSERT_GT(f.timeouts, 0);
    const QJsonObject record = page.value(QStringLiteral("record")).toObject();
    EXPECT_EQ(page.value(QStringLiteral("trials")).toString().size(), f.trial);
    EXPECT_FALSE(page.value(QStringLiteral("trials")).toString().contains(QLatin1Char('*')));
    EXPECT_EQ(record.value(QStringLiteral("steps")).toArray().size(), f.screen);
    EXPECT_EQ(page.value(QStringLiteral("lines")).toArray().size(), 20);
}

// Whatever a text holds, it travels as a JSON string on one data line.
TEST(ChamberStatus, HostileTextStaysDataOnOneLine) {
    engine::SessionSnapshot figures;
    figures.subject = "<img src=x onerror=alert(1)>\"\n</script>\x01";
    web::ChamberStatus status;
    const QJsonObject update = status.take({}, figures);
    const QByteArray json = QJsonDocument(update).toJson(QJsonDocument::Compact);
    const QByteArray message = web::WebServer::eventMessage("update", json);
    EXPECT_EQ(message.count('\n'), 3) << "event line, data line, blank line";
    const QJsonObject back = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(back.value(QStringLiteral("figures"))
                  .toObject()
                  .value(QStringLiteral("subject"))
                  .toString()
                  .toStdString(),
              figures.subject);
}

// The chamber publishes; a stream client hears each event, while a thousand connections that say nothing
// and a client feeding its request a byte at a time are held or refused on the server's own thread.
TEST(StatusService, EventsReachAStreamClientWhileIdleAndSlowClientsWait) {
    veltrum::testing::DemoSession session;
    web::StatusService service(session);
    web::StatusService::Settings settings;
    settings.limits.idleMs = 60'000;
    ASSERT_EQ(service.start(settings), "");
    const quint16 port = service.port();

    const veltrum::testing::IdleConnections idle(port, 1000);
    QTcpSocket slow;
    ASSERT_TRUE(slow.bind(QHostAddress(QStringLiteral("127.0.0.3"))));
    slow.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(slow.waitForConnected(waitLimitMs));
    slow.write("GET /events HTTP/1.1\r\nX-a: ");
    // The idle connections use up what one address may hold; a watcher from another address is let in.
    QTcpSocket watcher;
    ASSERT_TRUE(watcher.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    watcher.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(watcher.waitForConnected(waitLimitMs));
    watcher.write("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray heard;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return (heard += watcher.readAll()).contains("event: status"); }, waitLimitMs));
    EXPECT_TRUE(heard.contains("\"subject\":\"P101\""));

    session.peck("Reward");
    ASSERT_TRUE(QTest::qWaitFor([&] { return (heard += watcher.readAll()).contains("Peck at 2: Reward"); },
                                waitLimitMs));
    EXPECT_TRUE(heard.contains("\"kind\":\"TouchScored\""));
    ASSERT_TRUE(QTest::qWaitFor([&] { return (heard += watcher.readAll()).contains("\"goalPecks\":1"); },
                                waitLimitMs));

    const web::WebServer::Counts counts = service.counts();
    EXPECT_LE(counts.open, web::Limits{}.connectionsPerAddress + 2)
        << "this address's share, the watcher and the slow client";
    EXPECT_GE(counts.overLimit, 1000U - web::Limits{}.connectionsPerAddress);
}

} // namespace
