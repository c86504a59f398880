// The Start button: what it refuses, what the stimulus screen shows, and the session workbook it makes.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>
#include <fstream>

namespace veltrum::testing {
namespace {

TEST(Start, TurnsThePanelIntoTheStimulusScreenWithABanner) {
    ScenarioHarness h;
    session::crt& w = h.window();
    w.Form_Load();
    h.tabletConnected();
    // An older workbook of the same name is replaced by a fresh copy of the template.
    std::ofstream(h.dataFile(), std::ios::binary) << "left over";
    w.Command1.click();

    EXPECT_TRUE(w.stimulusScreen);
    for (session::Control* control : std::initializer_list<session::Control*>{
             &w.Command1, &w.Combo1, &w.Check1, &w.Subject_In, &w.Command3, &w.Label4, &w.Label5, &w.Label6,
             &w.Label9, &w.Text5, &w.Label2, &w.SessionNum, &w.Label8, &w.Text1, &w.Label1, &w.Label3,
             &w.Label10})
        EXPECT_FALSE(control->isVisible()) << control->objectName();
    EXPECT_TRUE(w.Label7.isVisible());
    EXPECT_EQ(w.Label7.caption(), "Press \"S\" to start session\r\nSubject is S1\r\nSession = 1");
    EXPECT_EQ(h.socket.sent(), std::vector<std::string>{"0,0,0,0,0,0"});
    EXPECT_EQ(w.NewDataFile(), h.dataFile());
    EXPECT_TRUE(h.rows().empty());
    EXPECT_EQ(w.Data2.recordSource(), "Data$");
    EXPECT_EQ(h.scheduler.pendingCount(), 0u) << "Start runs no timer; S does";
}

TEST(Start, DiagnosticLabelsOnlyForBenchcheckSpelledExactly) {
    for (const std::string name : {"Benchcheck", "benchcheck"}) {
        ScenarioHarness h("params_main", name);
        session::crt& w = h.window();
        w.Form_Load();
        w.Command1.click();
        const bool shown = name == "Benchcheck";
        EXPECT_EQ(w.Label1.isVisible(), shown) << name;
        EXPECT_EQ(w.Label3.isVisible(), shown) << name;
        EXPECT_EQ(w.Label10.isVisible(), shown) << name;
        EXPECT_TRUE(w.stimulusScreen);
    }
}

struct Refusal {
    const char* name;
    const char* params;
    int phase;
    std::function<void(ScenarioHarness&)> spoil;
    const char* messagePart;
};

void PrintTo(const Refusal& c, std::ostream* out) {
    *out << c.name;
}

class StartRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(StartRefuses, WithAMessageAndStaysOnThePanel) {
    const Refusal& c = GetParam();
    ScenarioHarness h(c.params);
    session::crt& w = h.window();
    w.Form_Load();
    w.Combo1.select(c.phase - 1);
    if (c.spoil)
        c.spoil(h);
    w.Command1.click();

    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].text.find(c.messagePart), std::string::npos)
        << h.dialogs.messages()[0].text;
    EXPECT_FALSE(w.stimulusScreen);
    EXPECT_TRUE(w.Command1.isVisible());
    EXPECT_TRUE(w.Subject_In.isVisible());
    EXPECT_FALSE(w.Label7.isVisible());
    EXPECT_FALSE(std::filesystem::exists(h.dataFile()));
    h.press('S');
    h.run(30);
    EXPECT_EQ(w.CurrentTrial(), 0) << "S does nothing without a session set up";
}

void removeImage(ScenarioHarness& h, const char* file) {
    std::filesystem::remove(h.folder() + "/Images/" + file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartRefuses,
    ::testing::Values(
        Refusal{"MoreThan200Trials", "params_limits", 1, nullptr, "at most 200"},
        Refusal{"BlocksBeyond200Rows", "params_limits", 3, nullptr, "204 schedule rows"},
        Refusal{"MissingAutoPicture", "params_main", 2, [](ScenarioHarness& h) { removeImage(h, "7.bmp"); },
                "7.bmp"},
        Refusal{"PictureThatIsNoBitmap", "params_main", 4,
                [](ScenarioHarness& h) { std::ofstream(h.folder() + "/Images/4.bmp") << "GIF89a"; }, "4.bmp"},
        Refusal{"EmptyPicture", "params_main", 3,
                [](ScenarioHarness& h) { std::ofstream(h.folder() + "/Images/6.bmp").flush(); }, "6.bmp"},
        Refusal{
            "MissingTemplate", "params_main", 1,
            [](ScenarioHarness& h) { std::filesystem::remove(h.folder() + "/Results/Session_Template.xls"); },
            "Session_Template.xls"},
        Refusal{"UnsafeSubjectTyped", "params_main", 1,
                [](ScenarioHarness& h) { h.window().Subject_In.setText("../S1"); }, "../S1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Start, TwoHundredTrialsFitAndAPhaseNeedsOnlyItsOwnPictures) {
    ScenarioHarness h("params_limits"); // Auto: 200 trials
    for (int i = 1; i <= 7; ++i)
        if (i != 7)
            removeImage(h, (std::to_string(i) + ".bmp").c_str());
    session::crt& w = h.setUp(2);
    EXPECT_TRUE(w.stimulusScreen);
    EXPECT_TRUE(h.dialogs.messages().empty());
}

} // namespace
} // namespace veltrum::testing
