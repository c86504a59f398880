#include "ChamberHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace veltrum::testing;
using veltrum::platform::MessageButtons;
using veltrum::platform::TabletSocket;

const std::string blank = "0,0,0,0,0,0";

class TabletLinkTest : public ::testing::Test {
protected:
    ChamberHarness chamber;
};

// The port listens on while a tablet is connected: a second connection takes the link over, so a host that
// connected first and says nothing (or a tablet whose network dropped) never keeps the tablet out.
TEST_F(TabletLinkTest, NewConnectionTakesTheLinkOverAndIsShownOnThePanel) {
    chamber.startSession(Auto);
    chamber.connectTablet(417);
    EXPECT_EQ(chamber.socket.state(), TabletSocket::Connected);
    EXPECT_EQ(chamber.window().link.Label2.caption(), "417");
    EXPECT_TRUE(chamber.dialogs.notices().empty());

    chamber.socket.tabletConnects(418, "::1");
    EXPECT_EQ(chamber.socket.replacedCount(), 1);
    EXPECT_EQ(chamber.window().link.Label2.caption(), "418");
    EXPECT_EQ(chamber.window().link.TabletAddress.caption(), "tablet at ::1");
    EXPECT_EQ(chamber.window().snapshot().tabletAddress, "::1");
    ASSERT_EQ(chamber.dialogs.notices().size(), 1u);
    EXPECT_NE(chamber.dialogs.currentNotice().find("from ::1 took the tablet link over"), std::string::npos);
    EXPECT_NE(chamber.dialogs.currentNotice().find("from 127.0.0.1 was closed"), std::string::npos);
    EXPECT_TRUE(chamber.dialogs.messages().empty());
}

// Refused connections are counted, never boxed: one notice at once, then at most one every ten seconds
// telling how many were refused since and from where, with a few addresses named and the rest counted.
TEST_F(TabletLinkTest, RefusedConnectionsAreToldInAtMostOneNoticeEveryTenSeconds) {
    chamber.writeFile("TabletAddress.txt", "10.0.0.7\r\n");
    chamber.window().Form_Load();
    for (int i = 0; i < 500; ++i)
        chamber.socket.tabletConnects(i + 1, "10.9.9.9");
    ASSERT_EQ(chamber.dialogs.notices().size(), 1u);
    EXPECT_NE(chamber.dialogs.currentNotice().find("from 10.9.9.9 was refused"), std::string::npos);

    chamber.scheduler.advanceBy(9000);
    for (int i = 0; i < 12; ++i)
        chamber.socket.tabletConnects(1000 + i, "10.9.9." + std::to_string(i));
    EXPECT_EQ(chamber.dialogs.notices().size(), 1u);
    chamber.scheduler.advanceBy(1000);
    ASSERT_EQ(chamber.dialogs.notices().size(), 2u);
    EXPECT_NE(
        chamber.dialogs.currentNotice().find("511 connections to the tablet port were refused since the "
                                             "last notice, from 10.9.9.9 (500), 10.9.9.0 (1), 10.9.9.1 "
                                             "(1), 10.9.9.2 (1), 10.9.9.3 (1) and 7 from other addresses"),
        std::string::npos)
        << chamber.dialogs.currentNotice();
    chamber.scheduler.advanceBy(60000);
    EXPECT_EQ(chamber.dialogs.notices().size(), 2u);
    EXPECT_TRUE(chamber.dialogs.messages().empty());

    // The tablet itself is served all along.
    chamber.socket.tabletConnects(2000, "10.0.0.7");
    EXPECT_EQ(chamber.socket.state(), TabletSocket::Connected);
}

TEST_F(TabletLinkTest, DisplayMessagesAtSetUpStimulusOnAndOffAndTwiceAtSessionEnd) {
    chamber.window().Form_Load();
    chamber.connectTablet();
    chamber.setUp(Auto);
    EXPECT_EQ(chamber.socket.sent(), (std::vector<std::string>{blank}));
    chamber.press('S');
    chamber.runToStimulus();
    const std::string shown = "0,7,0,0,0,0";
    EXPECT_EQ(chamber.socket.sent(), (std::vector<std::string>{blank, shown}));
    chamber.runToStimulusEnd();
    EXPECT_EQ(chamber.socket.sent(), (std::vector<std::string>{blank, shown, blank}));
    // Run the session out: every trial times out, the last one ends the session.
    for (int ms = 0; ms < 20 * 60000 && chamber.window().Form.isVisible(); ms += 100)
        chamber.scheduler.advanceBy(100);
    ASSERT_FALSE(chamber.window().Form.isVisible());
    const std::vector<std::string>& sent = chamber.socket.sent();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[sent.size() - 1], blank);
    EXPECT_EQ(sent[sent.size() - 2], blank);
    EXPECT_EQ(sent[sent.size() - 3], shown);
    EXPECT_EQ(chamber.socket.state(), TabletSocket::Closed);
}

TEST_F(TabletLinkTest, NoTabletMeansNothingIsSentAndTheSessionRuns) {
    chamber.startSession(Auto);
    chamber.runToStimulus();
    chamber.runToStimulusEnd();
    EXPECT_TRUE(chamber.socket.sent().empty());
    EXPECT_EQ(chamber.rows().size(), 1u);
}

struct ArrivalCase {
    const char* name;
    std::vector<std::string> arrivals;
    std::vector<int> responses; // rows written, by Response
    std::string label2;
};

std::ostream& operator<<(std::ostream& out, const ArrivalCase& c) {
    return out << c.name;
}

class TabletArrivalTest : public ::testing::TestWithParam<ArrivalCase> {
protected:
    ChamberHarness chamber;
};

TEST_P(TabletArrivalTest, ScoresEachTouchReadAndRunsOn) {
    chamber.startSession(Auto);
    chamber.connectTablet(9);
    chamber.runToStimulus();
    for (const std::string& arrival : GetParam().arrivals)
        chamber.socket.tabletSends(arrival);
    std::vector<int> responses;
    for (const TouchRow& row : chamber.rows())
        responses.push_back(row.response);
    EXPECT_EQ(responses, GetParam().responses);
    EXPECT_EQ(chamber.window().link.Label2.caption(), GetParam().label2);
    EXPECT_TRUE(chamber.dialogs.messages().empty());
    EXPECT_TRUE(chamber.window().engine().timers().Stimulus.isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, TabletArrivalTest,
    ::testing::Values(ArrivalCase{"BareDigitFromATabletWithoutLineEnds", {"4"}, {4}, "4"},
                      ArrivalCase{"TouchesTogether", {"4\n5\n3\n"}, {4, 5, 3}, "3"},
                      ArrivalCase{"BareTouchesRunTogetherAreEachScored", {"34"}, {3, 4}, "4"},
                      ArrivalCase{"RunOfOtherDigitsIsOnePosition", {"70"}, {70}, "70"},
                      ArrivalCase{"ZeroAndNegativeAreNotScored", {"0", "-3"}, {}, "9"},
                      ArrivalCase{"NotANumberIsNoted", {"abc"}, {}, "?"},
                      ArrivalCase{"FragmentJoinedAtItsLineEnd", {"5\n", "1", "\n"}, {5, 1}, "1"}),
    [](const ::testing::TestParamInfo<ArrivalCase>& info) { return std::string(info.param.name); });

TEST_F(TabletLinkTest, FloodOfTouchesScoresNoMoreThanTheArrivalLimit) {
    chamber.startSession(Auto);
    chamber.connectTablet();
    chamber.runToStimulus();
    std::string flood;
    for (int i = 0; i < 5000; ++i)
        flood += "5\n";
    chamber.socket.tabletSends(flood);
    EXPECT_EQ(chamber.rows().size(), 32u);
    EXPECT_EQ(chamber.window().link.Label2.caption(), "?");
}

TEST_F(TabletLinkTest, TabletThatLeavesIsListenedForAgainOnThePortInText1) {
    chamber.window().Form_Load();
    chamber.connectTablet();
    chamber.window().link.Text1.setText("23456");
    chamber.socket.tabletCloses();
    EXPECT_EQ(chamber.socket.state(), TabletSocket::Listening);
    EXPECT_EQ(chamber.socket.listens().back(), 23456);
    chamber.connectTablet(2);
    EXPECT_EQ(chamber.socket.state(), TabletSocket::Connected);
    EXPECT_EQ(chamber.window().link.Label2.caption(), "2");
}

TEST_F(TabletLinkTest, ListeningAgainThatFailsIsReportedAndTheSessionRunsOn) {
    chamber.startSession(Auto);
    chamber.connectTablet();
    chamber.socket.failNextListen("address in use");
    chamber.socket.tabletCloses();
    ASSERT_EQ(chamber.dialogs.messages().size(), 1u);
    EXPECT_NE(chamber.dialogs.messages()[0].text.find("address in use"), std::string::npos);
    chamber.runToStimulus();
    chamber.runToStimulusEnd();
    EXPECT_EQ(chamber.rows().size(), 1u);
}

TEST_F(TabletLinkTest, SocketErrorIsShownInAnOkBoxAndChangesNothing) {
    chamber.window().Form_Load();
    chamber.connectTablet();
    chamber.socket.reportError(10053, "Connection is aborted due to timeout or other failure");
    ASSERT_EQ(chamber.dialogs.messages().size(), 1u);
    const ScriptedDialogs::Message& box = chamber.dialogs.messages()[0];
    EXPECT_EQ(box.text, "Socket Error 10053: Connection is aborted due to timeout or other failure");
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(chamber.socket.state(), TabletSocket::Connected);
}

} // namespace
