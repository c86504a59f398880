#include "SessionHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace veltrum::session {
namespace {

using testing::SessionHarness;

// B1 (summary: session 4, phase 2) and C7 (session 2, phase 3) in the list, B1 last and loaded.
class SetupPanelTest : public ::testing::Test {
protected:
    SetupPanelTest() {
        harness.writeFile("CurrentSchedule.txt", "C7\r\nB1\r\n");
        harness.addParameters("C7", "params_standard");
        w.Form_Load();
        harness.fileSystem.clearCalls();
    }

    // What the operator sees of the loaded subject, and the state behind it.
    void expectPanelShowsB1() {
        EXPECT_EQ(w.engine().state().Subject, "B1");
        EXPECT_EQ(w.panel.Subject_In.entries(), (std::vector<std::string>{"C7", "B1"}));
        EXPECT_EQ(w.panel.Subject_In.text(), "B1");
        EXPECT_EQ(w.panel.Subject_In.listIndex(), 1);
        EXPECT_EQ(w.engine().state().SessionNumber, 4);
        EXPECT_EQ(w.panel.SessionNum.text(), "4");
        EXPECT_EQ(w.engine().state().PhaseNumber, 2);
        EXPECT_EQ(w.panel.Combo1.text(), "Auto");
        EXPECT_EQ(w.engine().state().TotalTrials, 20);
        EXPECT_EQ(w.engine().timers().Hopper_Timer.interval(), 4000);
        EXPECT_EQ(w.engine().timers().FI.interval(), 500);
        EXPECT_EQ(w.panel.Data1.databaseName(), harness.folder() + "/Parameters/B1.xls");
        EXPECT_TRUE(w.panel.Data1.isOpen());
    }

    SessionHarness harness;
    crt& w = harness.window();
};

TEST_F(SetupPanelTest, PickingAPhaseKeepsTheSessionNumberAndSkipsTheSummary) {
    w.panel.Combo1.select(2);
    EXPECT_EQ(w.engine().state().PhaseNumber, 3);
    EXPECT_EQ(w.engine().state().SessionNumber, 4);
    EXPECT_EQ(w.engine().state().TotalTrials, 30);
    EXPECT_EQ(w.panel.PhaseChange, 0);
    EXPECT_EQ(harness.workbookReads(), (std::vector<std::string>{"Parameters/B1.xls"}));
}

TEST_F(SetupPanelTest, HardwareBoxBringsThePhaseBackFromTheSummary) {
    w.panel.Combo1.select(2);
    w.panel.Check1.click();
    EXPECT_EQ(w.engine().state().PhaseNumber, 2);
    EXPECT_EQ(w.panel.Combo1.text(), "Auto");
    EXPECT_EQ(w.engine().state().TotalTrials, 20);
    EXPECT_EQ(w.engine().state().ITITotalCount, 2);
}

TEST_F(SetupPanelTest, SwitchingToASubjectWithoutRowsKeepsThePhase) {
    harness.addParameters("N1", "params_standard");
    w.panel.Combo1.select(2);
    harness.dialogs.queueInput("N1");
    w.panel.Command3.click();
    EXPECT_EQ(w.engine().state().Subject, "N1");
    EXPECT_EQ(w.panel.Subject_In.entries().back(), "N1");
    EXPECT_EQ(w.panel.Subject_In.listIndex(), 2);
    EXPECT_EQ(w.engine().state().SessionNumber, 1);
    EXPECT_EQ(w.engine().state().PhaseNumber, 3);
    EXPECT_TRUE(harness.dialogs.messages().empty());
    ASSERT_EQ(harness.dialogs.inputs().size(), 1u);
    EXPECT_EQ(harness.dialogs.inputs()[0].title, "New Participant");
    EXPECT_EQ(harness.dialogs.inputs()[0].prompt, "Enter the participants's number:");
    EXPECT_EQ(harness.dialogs.inputs()[0].defaultText, "");
}

TEST_F(SetupPanelTest, SelectingAnotherSubjectLoadsIt) {
    w.panel.Subject_In.select(0);
    EXPECT_EQ(w.engine().state().Subject, "C7");
    EXPECT_EQ(w.engine().state().SessionNumber, 2);
    EXPECT_EQ(w.engine().state().PhaseNumber, 3);
    EXPECT_EQ(w.engine().state().TotalTrials, 30);
}

TEST_F(SetupPanelTest, CancellingTheNewSubjectBoxChangesNothing) {
    harness.dialogs.queueInput(std::nullopt);
    w.panel.Command3.click();
    expectPanelShowsB1();
    EXPECT_TRUE(harness.dialogs.messages().empty());
    EXPECT_TRUE(harness.fileSystem.calls().empty());
}

class RefusedNewSubjectTest : public SetupPanelTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RefusedNewSubjectTest, IsRefusedBeforeAnyFileIsTouched) {
    harness.dialogs.queueInput(GetParam());
    w.panel.Command3.click();
    ASSERT_EQ(harness.dialogs.messages().size(), 1u);
    EXPECT_NE(harness.dialogs.messages()[0].text.find("is refused"), std::string::npos);
    EXPECT_TRUE(harness.fileSystem.calls().empty());
    expectPanelShowsB1();
}

// b1 differs only by case from the listed B1: on a share that ignores case both are one set of files.
INSTANTIATE_TEST_SUITE_P(Names, RefusedNewSubjectTest,
                         ::testing::Values("", "..", "../Results/Results_Summary", "a\\b", "B\x01", "-x",
                                           ".x", "B\t1", std::string(101, 'x'), "b1"));

TEST_F(SetupPanelTest, StartRefusesANameTypedInTheListThatDiffersOnlyByCaseFromAListedOne) {
    w.panel.Subject_In.setText("c7");
    w.Command1_Click();
    ASSERT_EQ(harness.dialogs.messages().size(), 1u);
    EXPECT_NE(harness.dialogs.messages()[0].text.find("\"C7\""), std::string::npos)
        << harness.dialogs.messages()[0].text;
    EXPECT_TRUE(w.engine().state().NewDataFile.empty());
}

TEST_F(SetupPanelTest, NewSubjectWithoutParameterWorkbookIsReportedAndRemoved) {
    harness.dialogs.queueInput("Z9");
    w.panel.Command3.click();
    ASSERT_EQ(harness.dialogs.messages().size(), 1u);
    const auto& message = harness.dialogs.messages()[0];
    EXPECT_NE(message.text.find("Parameters/Z9.xls"), std::string::npos) << message.text;
    EXPECT_NE(message.text.find("Subject B1 stays loaded"), std::string::npos) << message.text;
    EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
    expectPanelShowsB1();

    // The panel still works after the failure.
    w.panel.Combo1.select(0);
    EXPECT_EQ(w.engine().state().TotalTrials, 10);
}

TEST_F(SetupPanelTest, SummaryRowThatFailsOnlyTheNewSubjectLeavesThePanelIntact) {
    harness.addParameters("BadSession", "params_standard");
    w.panel.Check1.click();
    harness.dialogs.queueInput("BadSession");
    w.panel.Command3.click();
    ASSERT_EQ(harness.dialogs.messages().size(), 1u);
    EXPECT_NE(harness.dialogs.messages()[0].text.find("column Session"), std::string::npos);
    expectPanelShowsB1();
    EXPECT_EQ(w.panel.Check1.value(), 1);
    EXPECT_EQ(w.engine().state().ITITotalCount, 2);
}

TEST_F(SetupPanelTest, FailedHardwareBoxReloadPutsTheBoxBack) {
    harness.removeFile("Parameters/B1.xls");
    w.panel.Check1.click();
    EXPECT_EQ(harness.dialogs.messages().size(), 1u);
    EXPECT_EQ(w.panel.Check1.value(), 0);
    EXPECT_EQ(w.engine().state().ITITotalCount, 12);
}

TEST_F(SetupPanelTest, LinkIndicatorTurnsGreenAtItsFirstChange) {
    EXPECT_EQ(w.link.Label2.background(), (Rgb{255, 0, 0}));
    w.link.Label2.setCaption("");
    EXPECT_EQ(w.link.Label2.background(), (Rgb{255, 0, 0}));
    w.link.Label2.setCaption("1");
    EXPECT_EQ(w.link.Label2.background(), (Rgb{0, 255, 0}));
}

TEST_F(SetupPanelTest, ViewHearsOfChangesMadeByHandlers) {
    std::vector<std::string> changed;
    w.setControlEvents({[&](const Control& c) { changed.push_back(c.objectName()); }, nullptr, nullptr});
    w.panel.Combo1.select(0);
    EXPECT_NE(std::find(changed.begin(), changed.end(), "Combo1"), changed.end());
    w.link.Label2.setCaption("3");
    EXPECT_EQ(changed.back(), "Label2");
}

} // namespace
} // namespace veltrum::session
