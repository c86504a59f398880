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
    // An older workbook of the same name holds an unsaved session's rows: it is kept, never overwritten.
    std::ofstream(h.dataFile(), std::ios::binary) << "left over";
    w.panel.Command1.click();
    const std::string kept = h.folder() + "/Results/S1.1.not-saved.xls";
    std::ifstream keptFile(kept, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(keptFile), {}), "left over");
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].text.find(kept), std::string::npos) << h.dialogs.messages()[0].text;

    EXPECT_TRUE(w.showsStimulusScreen());
    for (forms::Control* control : std::initializer_list<forms::Control*>{
             &w.panel.Command1, &w.panel.Combo1, &w.panel.Check1, &w.panel.Subject_In, &w.panel.Command3,
             &w.screen.Label4, &w.panel.Label5, &w.link.Label6, &w.link.Label9, &w.screen.Text5,
             &w.link.Label2, &w.panel.SessionNum, &w.panel.Label8, &w.link.Text1, &w.screen.Label1,
             &w.screen.Label3, &w.screen.Label10})
        EXPECT_FALSE(control->isVisible()) << control->objectName();
    EXPECT_TRUE(w.screen.Label7.isVisible());
    EXPECT_EQ(w.screen.Label7.caption(), "Press \"S\" to start session\r\nSubject is S1\r\nSession = 1");
    EXPECT_EQ(h.socket.sent(), std::vector<std::string>{"0,0,0,0,0,0"});
    EXPECT_EQ(w.engine().state().NewDataFile, h.dataFile());
    EXPECT_TRUE(h.rows().empty());
    EXPECT_EQ(w.rows.Data2.recordSource(), "Data$");
    EXPECT_EQ(h.scheduler.pendingCount(), 0u) << "Start runs no timer; S does";
}

TEST(Start, DiagnosticLabelsOnlyForBenchcheckSpelledExactly) {
    for (const std::string name : {"Benchcheck", "benchcheck"}) {
        ScenarioHarness h("params_main", name);
        session::crt& w = h.window();
        w.Form_Load();
        w.panel.Command1.click();
        const bool shown = name == "Benchcheck";
        EXPECT_EQ(w.screen.Label1.isVisible(), shown) << name;
        EXPECT_EQ(w.screen.Label3.isVisible(), shown) << name;
        EXPECT_EQ(w.screen.Label10.isVisible(), shown) << name;
        EXPECT_TRUE(w.showsStimulusScreen());
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
    w.panel.Combo1.select(c.phase - 1);
    if (c.spoil)
        c.spoil(h);
    // A workbook of the session's name from an earlier run must come through a refused Start untouched.
    std::ofstream(h.dataFile(), std::ios::binary) << "earlier rows";
    w.panel.Command1.click();

    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].text.find(c.messagePart), std::string::npos)
        << h.dialogs.messages()[0].text;
    EXPECT_FALSE(w.showsStimulusScreen());
    EXPECT_TRUE(w.panel.Command1.isVisible());
    EXPECT_TRUE(w.panel.Subject_In.isVisible());
    EXPECT_FALSE(w.screen.Label7.isVisible());
    std::ifstream earlier(h.dataFile(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier rows");
    for (const auto& entry : std::filesystem::directory_iterator(h.folder() + "/Results")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "Session_Template.xls" || name == "Results_Summary.xls" || name == "S1.1.xls")
            << "a refused Start leaves nothing in Results: " << name;
    }
    h.press('S');
    h.run(30);
    EXPECT_EQ(w.engine().state().CurrentTrial, 0) << "S does nothing without a session set up";
}

void removeImage(ScenarioHarness& h, const char* file) {
    std::filesystem::remove(h.folder() + "/Images/" + file);
}

std::string templatePath(ScenarioHarness& h) {
    return h.folder() + "/Results/Session_Template.xls";
}

// The template with one header renamed in place ("Outcome" becomes "Outcomx", as an operator's typo would).
void renameOutcomeColumn(ScenarioHarness& h) {
    std::ifstream in(templatePath(h), std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    const std::size_t at = bytes.find("Outcome");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 6] = 'x';
    std::ofstream(templatePath(h), std::ios::binary) << bytes;
}

// A bitmap header of the given size, followed by a few bytes of pixels at most.
std::string bitmapHeader(std::int32_t width, std::int32_t height, std::size_t pixelBytes) {
    std::string bytes = "BM";
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(static_cast<std::uint32_t>(54 + pixelBytes));
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<std::uint32_t>(width));
    put32(static_cast<std::uint32_t>(height));
    put32(1 | (24 << 16));
    for (int i = 0; i < 6; ++i)
        put32(0);
    return bytes + std::string(pixelBytes, '\x7f');
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
        Refusal{"TemplateLacksAColumn", "params_main", 1, renameOutcomeColumn, "\"Outcome\""},
        Refusal{"TemplateThatIsAPicture", "params_main", 1,
                [](ScenarioHarness& h) {
                    std::filesystem::copy_file(h.folder() + "/Images/1.bmp", templatePath(h),
                                               std::filesystem::copy_options::overwrite_existing);
                },
                "Session_Template.xls"},
        Refusal{"BitmapOfGarbage", "params_main", 2,
                [](ScenarioHarness& h) {
                    std::ofstream(h.folder() + "/Images/7.bmp", std::ios::binary)
                        << "BM" << std::string(300, '?');
                },
                "7.bmp"},
        Refusal{"BitmapClaimingAHugeSize", "params_main", 2,
                [](ScenarioHarness& h) {
                    std::ofstream(h.folder() + "/Images/7.bmp", std::ios::binary)
                        << bitmapHeader(20000, 20000, 64);
                },
                "20000 x 20000"},
        Refusal{"BitmapCutOff", "params_main", 2,
                [](ScenarioHarness& h) {
                    std::ofstream(h.folder() + "/Images/7.bmp", std::ios::binary)
                        << bitmapHeader(200, 200, 1000);
                },
                "cut off"},
        Refusal{"UnsafeSubjectTyped", "params_main", 1,
                [](ScenarioHarness& h) { h.window().panel.Subject_In.setText("../S1"); }, "../S1"}),
    [](const auto& info) { return std::string(info.param.name); });

// The program died during a session: the next run offers the same session number, and Start must not
// copy the template over the rows that session wrote.
TEST(Start, AfterACrashTheEarlierSessionsRowsAreKept) {
    ScenarioHarness h; // MagTrain: timeouts at 9 and 18 s
    h.start(1);
    h.run(20);
    ASSERT_EQ(h.rows().size(), 2u);
    h.restart();
    session::crt& w = h.setUp(1);
    EXPECT_EQ(w.engine().state().SessionNumber, 1);
    EXPECT_TRUE(h.rows().empty()) << "the new session starts a fresh workbook";
    const workbook::Workbook kept = workbook::Workbook::open(h.folder() + "/Results/S1.1.not-saved.xls");
    EXPECT_EQ(workbook::Table(kept, "Data").recordCount(), 2);
    ASSERT_FALSE(h.dialogs.messages().empty());
    EXPECT_NE(h.dialogs.messages().back().text.find("S1.1.not-saved.xls"), std::string::npos);
}

TEST(Start, TwoHundredTrialsFitAndAPhaseNeedsOnlyItsOwnPictures) {
    ScenarioHarness h("params_limits"); // Auto: 200 trials
    for (int i = 1; i <= 7; ++i)
        if (i != 7)
            removeImage(h, (std::to_string(i) + ".bmp").c_str());
    session::crt& w = h.setUp(2);
    EXPECT_TRUE(w.showsStimulusScreen());
    EXPECT_TRUE(h.dialogs.messages().empty());
}

} // namespace
} // namespace veltrum::testing
