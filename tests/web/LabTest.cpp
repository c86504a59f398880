// veltrum-lab: its lab file, and chambers followed over their event streams, one of them going away.
#include "DemoSession.h"
#include "lab/LabFile.h"
#include "lab/LabService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace veltrum;

namespace {

constexpr int waitLimitMs = 15000;

TEST(LabFile, NamesAddressesAndPortsOneChamberALine) {
    const auto chambers = lab::parseLabFile("# the east room\r\n"
                                            "Chamber 1   192.168.1.21:8081\r\n"
                                            "\n"
                                            "  Chamber 2\t[fe80::2]:8081\n"
                                            "Rig <3> rig3.lab.example.org:9000\n");
    ASSERT_EQ(chambers.size(), 3U);
    EXPECT_EQ(chambers[0].name, QStringLiteral("Chamber 1"));
    EXPECT_EQ(chambers[0].host, QStringLiteral("192.168.1.21"));
    EXPECT_EQ(chambers[0].port, 8081);
    EXPECT_EQ(chambers[1].host, QStringLiteral("fe80::2"));
    EXPECT_EQ(chambers[1].shown(), QStringLiteral("[fe80::2]:8081"));
    EXPECT_EQ(chambers[2].name, QStringLiteral("Rig <3>")) << "a name is text, shown as text";
    EXPECT_EQ(chambers[2].host, QStringLiteral("rig3.lab.example.org"));
}

TEST(LabFile, RefusesWhatNamesNoChamberPlainly) {
    const auto refusal = [](const std::string& text) {
        try {
            lab::parseLabFile(text);
        } catch (const std::invalid_argument& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal("# nothing\n\n"), "it names no chamber; write one a line: a name, then address:port");
    EXPECT_EQ(refusal("A 10.0.0.1:8081\n192.168.1.21:8081\n").rfind("line 2: gives no name", 0), 0U);
    EXPECT_EQ(refusal("A 10.0.0.1:0\n").rfind("line 1: \"10.0.0.1:0\" is not address:port", 0), 0U);
    EXPECT_EQ(refusal("A 10.0.0.1\n").rfind("line 1:", 0), 0U);
    EXPECT_EQ(
        refusal("A fe80::1:8081\n").rfind("line 1: \"fe80::1:8081\": write an IPv6 address in brackets", 0),
        0U);
    EXPECT_EQ(refusal("A bad_host!:8081\n").rfind("line 1: \"bad_host!\" is neither", 0), 0U);
    EXPECT_EQ(refusal("A\x1b[2J 10.0.0.1:8081\n"), "line 1: holds a control character");
}

QJsonObject labDocument(quint16 port) {
    // veltrum-lab runs on this thread: the event loop turns while the client waits.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write("GET /lab.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    if (!QTest::qWaitFor(
            [&] {
                answer += client.readAll();
                return client.state() == QAbstractSocket::UnconnectedState;
            },
            waitLimitMs))
        return {};
    return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
}

// Two chambers followed live; one goes away and is shown unreachable with the time of its last word,
// the other goes on.
TEST(LabService, FollowsItsChambersAndTellsWhenOneGoesAway) {
    veltrum::testing::DemoSession first("P101");
    veltrum::testing::DemoSession second("P102");
    auto firstService = std::make_unique<web::StatusService>(first);
    web::StatusService secondService(second);
    ASSERT_EQ(firstService->start({}), "");
    ASSERT_EQ(secondService.start({}), "");
    const std::vector<lab::ChamberAddress> chambers{
        {QStringLiteral("One"), QStringLiteral("127.0.0.1"), firstService->port()},
        {QStringLiteral("Two"), QStringLiteral("127.0.0.1"), secondService.port()}};
    lab::LabService lab(chambers);
    ASSERT_EQ(lab.start(0, {}), "");

    const auto chamber = [&](int index) {
        return labDocument(lab.port()).value(QStringLiteral("chambers")).toArray().at(index).toObject();
    };
    const auto goalPecks = [](const QJsonObject& c) {
        return c.value(QStringLiteral("status"))
            .toObject()
            .value(QStringLiteral("figures"))
            .toObject()
            .value(QStringLiteral("goalPecks"))
            .toInt();
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return chamber(0).value(QStringLiteral("reachable")).toBool() &&
                   chamber(1).value(QStringLiteral("reachable")).toBool();
        },
        waitLimitMs));
    first.start();
    first.beginTrial();
    first.peck("Reward");
    second.peck("S-");
    second.peck("S-");
    ASSERT_TRUE(QTest::qWaitFor([&] { return goalPecks(chamber(0)) == 1 && goalPecks(chamber(1)) == 2; },
                                waitLimitMs));

    firstService.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chamber(0).value(QStringLiteral("reachable")).toBool(); },
                                waitLimitMs));
    const QJsonObject gone = chamber(0);
    EXPECT_GT(gone.value(QStringLiteral("lastWordAt")).toInteger(), 0);
    EXPECT_FALSE(gone.value(QStringLiteral("problem")).toString().isEmpty());
    EXPECT_EQ(goalPecks(gone), 1) << "its last figures are kept";
    EXPECT_TRUE(chamber(1).value(QStringLiteral("reachable")).toBool());
}

} // namespace
