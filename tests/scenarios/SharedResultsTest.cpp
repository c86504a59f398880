// Two chambers sharing one data folder, as on a lab's share: different subjects both run to the end with
// every row and both records; the same subject by mistake is refused at the second Start, and the first
// session goes on untouched.
#include "ScenarioHarness.h"
#include "session/Form1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace veltrum::testing {
namespace {

struct TwoChambers : ::testing::Test {
    TwoChambers() {
        first.addParameters("S2", "params_main");
        first.writeFile("CurrentSchedule.txt", "S1\r\nS2\r\n");
        second.shareFolderOf(first);
    }
    // Start-up, the subject listed at `index`, MagTrain, Start.
    static session::crt& setUp(ScenarioHarness& chamber, int index) {
        session::crt& w = chamber.window();
        w.Form_Load();
        w.panel.Subject_In.select(index);
        w.panel.Combo1.select(0);
        w.panel.Command1.click();
        return w;
    }
    static void save(ScenarioHarness& chamber) {
        session::Form1 summary(chamber.window().endedSession(), chamber.window().services());
        summary.Form_Load();
        forms::Int16 key = 'S';
        summary.Form_KeyPress(key);
        ASSERT_TRUE(summary.isFinished());
    }
    std::string results(const std::string& name) const { return first.folder() + "/Results/" + name; }

    ScenarioHarness first;
    ScenarioHarness second;
};

TEST_F(TwoChambers, DifferentSubjectsBothRunToTheEndWithEveryRowAndBothRecords) {
    setUp(first, 0);
    setUp(second, 1);
    first.press('S');
    second.press('S');
    for (int step = 0; step < 600 && (first.summaryOpenings == 0 || second.summaryOpenings == 0); ++step) {
        first.run(0.5);
        second.run(0.5);
    }
    ASSERT_EQ(first.summaryOpenings, 1);
    ASSERT_EQ(second.summaryOpenings, 1);
    const auto rows1 = SessionFixture::readRows(results("S1.1.xls"));
    const auto rows2 = SessionFixture::readRows(results("S2.1.xls"));
    EXPECT_EQ(static_cast<int>(rows1.size()), first.window().engine().state().CurrentTrial.toInt());
    EXPECT_EQ(static_cast<int>(rows2.size()), second.window().engine().state().CurrentTrial.toInt());
    for (const Row& row : rows1)
        EXPECT_EQ(SessionFixture::text(row, "Subject"), "S1");
    for (const Row& row : rows2)
        EXPECT_EQ(SessionFixture::text(row, "Subject"), "S2");
    save(first);
    save(second);
    const workbook::Table summary(workbook::Workbook::open(results("Results_Summary.xls")), "All");
    std::vector<std::string> subjects;
    for (int r = 0; r < summary.recordCount(); ++r)
        subjects.push_back(workbook::toDisplayText(summary.field(r, "Subject")));
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "S1"), 1);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "S2"), 1);
}

TEST_F(TwoChambers, TheSameSubjectIsRefusedAtTheSecondStartAndTheFirstSessionGoesOn) {
    setUp(first, 0);
    first.press('S');
    first.run(10);
    const std::size_t rowsBefore = SessionFixture::readRows(results("S1.1.xls")).size();
    ASSERT_GT(rowsBefore, 0u);

    session::crt& w = setUp(second, 0);
    EXPECT_FALSE(w.showsStimulusScreen()) << "the second Start was refused";
    ASSERT_EQ(second.dialogs.messages().size(), 1u);
    const std::string told = second.dialogs.messages()[0].text;
    EXPECT_NE(told.find("Subject S1 is in a session on"), std::string::npos) << told;
    EXPECT_NE(told.find("session 1"), std::string::npos) << told;
    EXPECT_FALSE(std::filesystem::exists(results("S1.1.not-saved.xls"))) << "a live session's workbook moved";

    first.runToEnd();
    EXPECT_EQ(static_cast<int>(SessionFixture::readRows(results("S1.1.xls")).size()),
              first.window().engine().state().CurrentTrial.toInt());
}

} // namespace
} // namespace veltrum::testing
