// The console's figures and record against what the session leaves in the summary workbook, and the
// tablet link as the console reports it.
#include "SessionDriver.h"

#include "console/ConsoleModel.h"
#include "session/Form1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace veltrum::testing {
namespace {

using console::ConsoleModel;

struct Console {
    explicit Console(ScenarioHarness& h)
        : model([&h] { return h.window().snapshot(); }) {
        h.window().events().subscribe([this](const engine::SessionEvent& e) { model.onEvent(e); });
    }
    ConsoleModel model;
};

// The last record of the summary workbook, by column name, as text.
std::map<std::string, std::string> lastSummaryRecord(const ScenarioHarness& h) {
    const workbook::Workbook book = workbook::Workbook::open(h.folder() + "/Results/Results_Summary.xls");
    const workbook::Table table(book, "All");
    std::map<std::string, std::string> record;
    for (int c = 0; c < table.columnCount(); ++c)
        record[table.header()[static_cast<std::size_t>(c)]] =
            workbook::toDisplayText(table.field(table.recordCount() - 1, c));
    return record;
}

TEST(ConsoleModel, AtTheSessionsEndItsCountsEqualTheSavedSummaryRecord) {
    ScenarioHarness h; // SimDisc: 12 trials of two pictures
    Console console(h);
    h.start(4);
    peckThroughSession(h);
    ASSERT_EQ(h.summaryOpenings, 1);

    session::Form1 summary(h.window().endedSession(), h.window().services());
    summary.Form_Load();
    summary.SaveSummary();
    const auto record = lastSummaryRecord(h);

    console.model.refresh();
    const console::ConsoleState& shown = console.model.shown();
    const engine::SessionSnapshot& f = shown.figures;
    ASSERT_GT(std::stoi(record.at("Screen")), std::stoi(record.at("Target"))) << "pecks on both pictures";
    ASSERT_GT(std::stoi(record.at("Timeouts")), 0);
    EXPECT_EQ(std::to_string(f.trial), record.at("Trials"));
    EXPECT_EQ(std::to_string(f.target), record.at("Target"));
    EXPECT_EQ(std::to_string(f.screen), record.at("Screen"));
    EXPECT_EQ(std::to_string(f.timeouts), record.at("Timeouts"));
    // What the console gathered from the events alone agrees with the record too.
    EXPECT_EQ(std::to_string(shown.record.responses), record.at("Screen"));
    EXPECT_EQ(std::to_string(shown.timeouts), record.at("Timeouts"));
    EXPECT_EQ(std::to_string(shown.trials.size()), record.at("Trials"));
    ASSERT_GT(shown.headEntries, 0);
    EXPECT_EQ(f.headEntries, shown.headEntries);
    const double hopPC = std::stod(record.at("HopPC"));
    EXPECT_NEAR(hopPC, static_cast<double>(shown.headEntries) / f.trial, 0.005);
    const auto rewarded =
        std::count(shown.trials.begin(), shown.trials.end(), console::TrialResult::Rewarded);
    EXPECT_EQ(rewarded, f.rewards);
    EXPECT_EQ(std::count(shown.trials.begin(), shown.trials.end(), console::TrialResult::Running), 0);
}

TEST(ConsoleModel, TheRecordReturnsToTheBottomAtItsTopAndMarksFoodAndTimeouts) {
    ConsoleModel model({});
    engine::SessionEvent e;
    e.kind = engine::SessionEventKind::SessionStarted;
    e.atMs = 1000;
    model.onEvent(e);
    e.kind = engine::SessionEventKind::TouchScored;
    for (int i = 1; i <= console::CumulativeRecord::height + 3; ++i) {
        e.atMs = 1000 + i * 100;
        e.outcome = i % 2 ? "NotGoal" : "S-";
        model.onEvent(e);
    }
    e.outcome = "ITI"; // not a peck: the pen stays
    model.onEvent(e);
    e.kind = engine::SessionEventKind::HopperUp;
    model.onEvent(e);
    e.kind = engine::SessionEventKind::TrialTimeout;
    model.onEvent(e);

    const console::CumulativeRecord& record = model.shown().record;
    EXPECT_EQ(record.responses, console::CumulativeRecord::height + 3);
    EXPECT_EQ(record.pen, 3);
    const auto top = std::find_if(record.steps.begin(), record.steps.end(), [](const console::RecordStep& s) {
        return s.height == console::CumulativeRecord::height;
    });
    ASSERT_NE(top, record.steps.end());
    EXPECT_EQ(std::next(top)->height, 0);
    EXPECT_EQ(std::next(top)->atMs, top->atMs);
    EXPECT_EQ(top->atMs, console::CumulativeRecord::height * 100);
    ASSERT_EQ(record.marks.size(), 2u);
    EXPECT_EQ(record.marks[0].kind, console::MarkKind::Reinforcer);
    EXPECT_EQ(record.marks[1].kind, console::MarkKind::Timeout);
    EXPECT_EQ(record.marks[1].height, 3);
}

TEST(ConsoleModel, ATabletThatGoesAwayDuringTheSessionIsLostButTheSessionsOwnClosingIsNot) {
    ScenarioHarness h("params_main");
    Console console(h);
    h.setUp(2);
    h.socket.tabletConnects(1);
    h.press('S');
    h.run(20);
    EXPECT_FALSE(console.model.live().linkLost);
    h.socket.tabletCloses();
    EXPECT_TRUE(console.model.live().linkLost);
    EXPECT_EQ(console.model.live().events.back().text.substr(9), "Tablet link LOST");
    h.socket.tabletConnects(2);
    EXPECT_FALSE(console.model.live().linkLost);
    EXPECT_EQ(console.model.live().linkLosses, 1);

    h.runToEnd();
    ASSERT_EQ(h.summaryOpenings, 1);
    EXPECT_FALSE(console.model.live().linkLost) << "the session closed the link itself";
    EXPECT_EQ(console.model.live().linkLosses, 1);
}

TEST(ConsoleModel, PausingFreezesWhatIsShownWhileEventsAreStillTaken) {
    ScenarioHarness h;
    Console console(h);
    h.start(2);
    h.run(10);
    console.model.setPaused(true);
    const std::uint64_t shownLines = console.model.shown().linesAdded;
    h.run(30);
    EXPECT_EQ(console.model.shown().linesAdded, shownLines);
    EXPECT_GT(console.model.live().linesAdded, shownLines);
    console.model.setPaused(false);
    EXPECT_EQ(console.model.shown().linesAdded, console.model.live().linesAdded);
}

} // namespace
} // namespace veltrum::testing
