#include "SessionHarness.h"

#include "session/SetupError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace veltrum::session {
namespace {

using testing::SessionHarness;

std::string startupFailure(SessionHarness& harness) {
    try {
        harness.load();
    } catch (const SetupError& error) {
        return error.what();
    }
    return "";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DesignTest, ControlsCarryTheirDesignTextsAndTimersStartDisabled) {
    SessionHarness harness;
    crt& w = harness.window();
    EXPECT_EQ(w.panel.Command3.caption(), "Enter Subject name");
    EXPECT_EQ(w.panel.Combo1.text(), "Pick Phase");
    EXPECT_EQ(w.panel.Combo1.entries(),
              (std::vector<std::string>{"MagTrain", "Auto", "SuccDisc", "SimDisc"}));
    EXPECT_EQ(w.panel.Check1.caption(), "click to run without hardware");
    EXPECT_EQ(w.panel.SessionNum.text(), "1");
    EXPECT_EQ(w.link.Text1.text(), "12345");
    EXPECT_EQ(w.screen.Text5.text(), "C:\\Images\\");
    EXPECT_EQ(w.screen.Label10.caption(), "Press \"E\" to exit");
    EXPECT_EQ(w.link.Label2.background(), (Rgb{255, 0, 0}));
    EXPECT_TRUE(w.screen.Label7.font().bold);
    EXPECT_EQ(w.screen.Label7.font().pointSize, 24.0);
    for (const Control* hidden : std::initializer_list<const Control*>{
             &w.screen.Label7, &w.screen.Label1, &w.screen.Label3, &w.screen.Label10, &w.screen.Text2,
             &w.screen.Text8, &w.screen.Image1(1), &w.screen.Image1(6)})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName();
    EXPECT_EQ(w.Form.geometry(), (Geometry{0, 0, 786, 573}));
    EXPECT_EQ(w.Form.background(), (Rgb{0, 0, 0}));

    const std::vector<std::pair<const platform::Timer*, int>> timers{
        {&w.engine().timers().ITI, 1000},
        {&w.engine().timers().Stimulus, 1000},
        {&w.engine().timers().FI, 0},
        {&w.engine().timers().Session_Timer, 60000},
        {&w.engine().timers().Hopper_Timer, 4000},
        {&w.engine().timers().Infrared, 100}};
    for (const auto& [timer, interval] : timers) {
        EXPECT_EQ(timer->interval(), interval) << timer->name();
        EXPECT_FALSE(timer->isEnabled()) << timer->name();
    }
}

TEST(DesignTest, VisibleSetupControlsLieInsideTheWindowWithoutOverlapping) {
    SessionHarness harness;
    crt& w = harness.window();
    std::set<std::string> names;
    std::vector<const Control*> shown;
    for (const Control* control : w.controls()) {
        names.insert(control->objectName() + std::to_string(control->index()));
        if (control->isVisible() && control->kind() != ControlKind::Window)
            shown.push_back(control);
    }
    EXPECT_EQ(names.size(), w.controls().size());
    for (const Control* a : shown) {
        const Geometry g = a->geometry();
        EXPECT_TRUE(g.left >= 0 && g.top >= 0 && g.left + g.width <= 786 && g.top + g.height <= 573)
            << a->objectName();
        for (const Control* b : shown) {
            const Geometry h = b->geometry();
            const bool overlap = a != b && g.left < h.left + h.width && h.left < g.left + g.width &&
                                 g.top < h.top + h.height && h.top < g.top + g.height;
            EXPECT_FALSE(overlap) << a->objectName() << " overlaps " << b->objectName();
        }
    }
}

TEST(StartupTest, LoadsEverySubjectInTurnThenTheLastAgainInPhaseOne) {
    SessionHarness harness;
    harness.writeFile("CurrentSchedule.txt", "C7\r\nX9, B1\r\n");
    harness.addParameters("C7", "params_standard");
    harness.addParameters("X9", "params_standard");
    crt& w = harness.load();

    const std::string summary = "Results/Results_Summary.xls";
    // The summary once for the whole start-up, then each subject's parameters (C7 in phase 3: the
    // phase pick reloads once).
    EXPECT_EQ(
        harness.workbookReads(),
        (std::vector<std::string>{summary, "Parameters/C7.xls", "Parameters/C7.xls", "Parameters/X9.xls",
                                  "Parameters/B1.xls", "Parameters/B1.xls", "Parameters/B1.xls"}));
    EXPECT_EQ(w.panel.Subject_In.entries(), (std::vector<std::string>{"C7", "X9", "B1"}));
    EXPECT_EQ(w.panel.Subject_In.text(), "B1");
    EXPECT_EQ(w.engine().state().Subject, "B1");
    EXPECT_EQ(w.engine().state().SessionNumber, 4);
    EXPECT_EQ(w.engine().state().PhaseNumber, 2);
    EXPECT_EQ(w.panel.Combo1.text(), "Auto");
    EXPECT_EQ(w.panel.SessionNum.text(), "4");
    EXPECT_EQ(harness.socket.listens(), (std::vector<std::int32_t>{12345}));
    EXPECT_TRUE(harness.dialogs.messages().empty());
}

struct PortCase {
    const char* name;
    std::string content;
    std::int32_t port;
};

// Test names in ctest show the case name rather than the bytes of the case.
void PrintTo(const PortCase& value, std::ostream* out) {
    *out << value.name;
}

class PortFileTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortFileTest, ListensOnTheLastPortOfTheFile) {
    SessionHarness harness;
    harness.writeFile("PortNumber.txt", GetParam().content);
    crt& w = harness.load();
    EXPECT_EQ(harness.socket.listens(), (std::vector<std::int32_t>{GetParam().port}));
    EXPECT_EQ(harness.socket.localPort(), GetParam().port);
    EXPECT_EQ(w.link.Text1.text(), std::to_string(GetParam().port));
}

INSTANTIATE_TEST_SUITE_P(Files, PortFileTest,
                         ::testing::Values(PortCase{"TwoLines", "4000\r\n5000\r\n", 5000},
                                           PortCase{"Spaces", "  7001 ", 7001}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    std::function<void(SessionHarness&)> arrange;
    std::vector<std::string> messageParts;
};

// Test names in ctest show the case name rather than the bytes of the case.
void PrintTo(const FailureCase& value, std::ostream* out) {
    *out << value.name;
}

class StartupFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StartupFailureTest, ThrowsOneErrorSayingWhatAndWhere) {
    SessionHarness harness;
    GetParam().arrange(harness);
    const std::string message = startupFailure(harness);
    ASSERT_FALSE(message.empty()) << "start-up succeeded";
    for (const std::string& part : GetParam().messageParts)
        EXPECT_TRUE(contains(message, part)) << message << "\n lacks: " << part;
    EXPECT_EQ(harness.socket.state(), platform::TabletSocket::Closed);
    EXPECT_FALSE(harness.window().isLoaded());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, StartupFailureTest,
    ::testing::Values(
        FailureCase{"MissingPortFile",
                    [](SessionHarness& h) { h.removeFile("PortNumber.txt"); },
                    {"PortNumber.txt", "does not exist"}},
        FailureCase{"PortNotANumber",
                    [](SessionHarness& h) { h.writeFile("PortNumber.txt", "12a45"); },
                    {"PortNumber.txt", "\"12a45\"", "1 to 65535"}},
        FailureCase{"PortOutOfRange",
                    [](SessionHarness& h) { h.writeFile("PortNumber.txt", "70000"); },
                    {"\"70000\""}},
        FailureCase{"PortInUse",
                    [](SessionHarness& h) { h.socket.failNextListen("address in use"); },
                    {"port 12345", "address in use", "PortNumber.txt"}},
        // An empty port file would put two chambers on one built-in port without a word.
        FailureCase{"EmptyPortFile",
                    [](SessionHarness& h) { h.writeFile("PortNumber.txt", ""); },
                    {"PortNumber.txt", "is empty", "12345"}},
        FailureCase{"PortFileIsAFolder",
                    [](SessionHarness& h) {
                        h.removeFile("PortNumber.txt");
                        std::filesystem::create_directory(h.folder() + "/PortNumber.txt");
                    },
                    {"PortNumber.txt", "is a folder"}},
        // A pipe with no writer would hold start-up for ever if it were opened to wait.
        FailureCase{"SubjectListIsANamedPipe",
                    [](SessionHarness& h) {
                        h.removeFile("CurrentSchedule.txt");
                        ::mkfifo((h.folder() + "/CurrentSchedule.txt").c_str(), 0600);
                    },
                    {"CurrentSchedule.txt", "is a named pipe"}},
        FailureCase{"NulInPortFile",
                    [](SessionHarness& h) {
                        h.writeFile("PortNumber.txt", std::string("123\0"
                                                                  "45\r\n",
                                                                  7));
                    },
                    {"PortNumber.txt", "line 1", "\\x00", "\"123\\x0045\"", "plain text"}},
        FailureCase{"OverlongSubjectLine",
                    [](SessionHarness& h) { h.writeFile("CurrentSchedule.txt", std::string(10'000, 'a')); },
                    {"CurrentSchedule.txt", "line 1", "longer than 200", "bytes in all"}},
        FailureCase{"HugeSubjectList",
                    [](SessionHarness& h) { h.writeFile("CurrentSchedule.txt", std::string(10 << 20, 'a')); },
                    {"CurrentSchedule.txt", "10 MiB", "at most 64 KiB"}},
        FailureCase{"ParameterWorkbookIsAFolder",
                    [](SessionHarness& h) {
                        h.removeFile("Parameters/B1.xls");
                        std::filesystem::create_directory(h.folder() + "/Parameters/B1.xls");
                    },
                    {"Parameters/B1.xls", "is a folder"}},
        FailureCase{"TabletAddressNotAnAddress",
                    [](SessionHarness& h) { h.writeFile("TabletAddress.txt", "tablet\x01.lab\r\n"); },
                    {"TabletAddress.txt", "\\x01"}},
        // A file that names nobody never opens the port to every host.
        FailureCase{"EmptyTabletAddressFile",
                    [](SessionHarness& h) { h.writeFile("TabletAddress.txt", ""); },
                    {"TabletAddress.txt", "names no address", "\"any\""}},
        FailureCase{"BlankTabletAddressFile",
                    [](SessionHarness& h) { h.writeFile("TabletAddress.txt", "\r\n  \t\r\n"); },
                    {"TabletAddress.txt", "names no address"}},
        FailureCase{"CommentOnlyTabletAddressFile",
                    [](SessionHarness& h) { h.writeFile("TabletAddress.txt", "# chamber 3's tablet\r\n"); },
                    {"TabletAddress.txt", "names no address"}},
        FailureCase{"TabletSubnetOfLengthZero",
                    [](SessionHarness& h) { h.writeFile("TabletAddress.txt", "10.0.0.7\r\n0.0.0.0/0\r\n"); },
                    {"TabletAddress.txt", "\"0.0.0.0/0\" would let every host connect", "\"any\""}},
        FailureCase{"MissingSubjectList",
                    [](SessionHarness& h) { h.removeFile("CurrentSchedule.txt"); },
                    {"CurrentSchedule.txt", "does not exist"}},
        FailureCase{"EmptySubjectList",
                    [](SessionHarness& h) { h.writeFile("CurrentSchedule.txt", "\r\n"); },
                    {"CurrentSchedule.txt", "no subject"}},
        FailureCase{"UnsafeSubjectName",
                    [](SessionHarness& h) { h.writeFile("CurrentSchedule.txt", "B1\r\n../B1\r\n"); },
                    {"CurrentSchedule.txt, line 2", "\"../B1\""}},
        FailureCase{"SubjectsDifferingOnlyByCase",
                    [](SessionHarness& h) { h.writeFile("CurrentSchedule.txt", "P101\r\nB1\r\np101\r\n"); },
                    {"CurrentSchedule.txt, lines 1 and 3", "\"P101\"", "\"p101\"", "differ only by case"}},
        FailureCase{"SubjectNameReadAsAnOption",
                    [](SessionHarness& h) { h.writeFile("CurrentSchedule.txt", "B1\r\n-x\r\n"); },
                    {"CurrentSchedule.txt, line 2", "\"-x\"", "is refused"}},
        FailureCase{"MissingSummary",
                    [](SessionHarness& h) { h.removeFile("Results/Results_Summary.xls"); },
                    {"Results_Summary.xls", "does not exist"}},
        FailureCase{"SummaryWithoutPhaseColumn",
                    [](SessionHarness& h) { h.useSummary("summary_without_phase"); },
                    {"Results_Summary.xls", "Phase"}},
        FailureCase{"MissingParameterWorkbook",
                    [](SessionHarness& h) { h.removeFile("Parameters/B1.xls"); },
                    {"Parameters/B1.xls", "does not exist", "B1"}},
        FailureCase{"ParameterSheetMissing",
                    [](SessionHarness& h) { h.addParameters("B1", "params_wrong_sheet"); },
                    {"Parameters/B1.xls", "Parameters"}},
        FailureCase{"NineParameterRows",
                    [](SessionHarness& h) { h.addParameters("B1", "params_nine_rows"); },
                    {"Parameters/B1.xls", "9 parameter rows", "10 rows"}},
        FailureCase{"FourColumns",
                    [](SessionHarness& h) { h.addParameters("B1", "params_four_columns"); },
                    {"Parameters/B1.xls", "4 columns", "5 columns"}},
        FailureCase{"PhaseFiveInSummary",
                    [](SessionHarness& h) {
                        h.writeFile("CurrentSchedule.txt", "P5");
                        h.addParameters("P5", "params_standard");
                    },
                    {"Results_Summary.xls", "row 9", "Phase", "phase 5 does not exist"}},
        FailureCase{"SessionNotANumber",
                    [](SessionHarness& h) {
                        h.writeFile("CurrentSchedule.txt", "BadSession");
                        h.addParameters("BadSession", "params_standard");
                    },
                    {"sheet All, row 10, column Session", "\"x\" is not a number"}},
        FailureCase{"BlankPhase",
                    [](SessionHarness& h) {
                        h.writeFile("CurrentSchedule.txt", "BlankPhase");
                        h.addParameters("BlankPhase", "params_standard");
                    },
                    {"row 11, column Phase", "blank"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartupTest, MissingDataFolderIsNamed) {
    SessionHarness harness;
    std::filesystem::remove_all(harness.folder());
    const std::string message = startupFailure(harness);
    EXPECT_TRUE(contains(message, harness.folder())) << message;
    EXPECT_TRUE(contains(message, "--data")) << message;
}

TEST(StartupTest, UnsafeSubjectNameTouchesNoWorkbook) {
    SessionHarness harness;
    harness.writeFile("CurrentSchedule.txt", "B1, a/b");
    EXPECT_FALSE(startupFailure(harness).empty());
    EXPECT_TRUE(harness.workbookReads().empty());
}

TEST(StartupTest, TabletAddressFileLimitsWhoMayBeTheTabletAndARefusalIsNoticed) {
    SessionHarness harness;
    harness.writeFile("TabletAddress.txt", "10.0.0.7\r\n10.0.1.0/24\r\n");
    crt& w = harness.load();
    EXPECT_EQ(harness.socket.allowedPeers(), (std::vector<std::string>{"10.0.0.7", "10.0.1.0/24"}));
    harness.socket.tabletConnects(1, "10.9.9.9");
    EXPECT_NE(harness.dialogs.currentNotice().find("10.9.9.9"), std::string::npos);
    EXPECT_NE(harness.socket.state(), platform::TabletSocket::Connected);
    harness.socket.tabletConnects(2, "10.0.0.7");
    EXPECT_EQ(harness.socket.state(), platform::TabletSocket::Connected);
    EXPECT_EQ(w.link.TabletAddress.caption(), "tablet at 10.0.0.7");
}

// Without a tablet address the port is open to this computer only, and the panel says how to open it;
// "any" must be written to let every host in.
TEST(StartupTest, TabletPortIsLoopbackOnlyUntilAddressesOrAnyAreNamed) {
    SessionHarness harness;
    crt& w = harness.load();
    EXPECT_TRUE(harness.socket.allowedPeers().empty());
    EXPECT_EQ(w.link.TabletAddress.caption(), "this computer only; name the tablet in TabletAddress.txt");
    harness.socket.tabletConnects(1, "10.9.9.9");
    EXPECT_NE(harness.socket.state(), platform::TabletSocket::Connected);

    SessionHarness anyHost;
    anyHost.writeFile("TabletAddress.txt", "any\r\n");
    EXPECT_EQ(anyHost.load().link.TabletAddress.caption(), "");
    anyHost.socket.tabletConnects(1, "10.9.9.9");
    EXPECT_EQ(anyHost.socket.state(), platform::TabletSocket::Connected);
}

// Comment and blank lines read alike in every settings file of the data folder.
TEST(StartupTest, CommentLinesAreSkippedInEverySettingsFile) {
    SessionHarness harness;
    harness.writeFile("PortNumber.txt", "# the tablet's port\r\n\r\n  23456\r\n");
    harness.writeFile("CurrentSchedule.txt", "# birds in training, one per line\r\n  # (B2 rests)\r\nB1\r\n");
    harness.writeFile("TabletAddress.txt", "# chamber 3's tablet\r\n10.0.0.7\r\n\r\n");
    crt& w = harness.load();
    EXPECT_EQ(w.link.Text1.text(), "23456");
    EXPECT_EQ(w.panel.Subject_In.entries(), (std::vector<std::string>{"B1"}));
    EXPECT_EQ(harness.socket.allowedPeers(), (std::vector<std::string>{"10.0.0.7"}));
}

TEST(StartupTest, LineWithTwoNamesYieldsTwoSubjects) {
    SessionHarness harness;
    harness.writeFile("CurrentSchedule.txt", "C7, B1\r\n");
    harness.addParameters("C7", "params_standard");
    crt& w = harness.load();
    EXPECT_EQ(w.panel.Subject_In.entries(), (std::vector<std::string>{"C7", "B1"}));
    EXPECT_EQ(w.panel.Subject_In.listIndex(), 1);
}

TEST(StimulusSlotsTest, SlotsFormTwoRowsOfThreeAndPicturesLieInTheImageFolder) {
    SessionHarness harness;
    crt& w = harness.load();
    const std::vector<Geometry> expected{{0, 50, 200, 200},  {300, 50, 200, 200},  {600, 50, 200, 200},
                                         {0, 350, 200, 200}, {300, 350, 200, 200}, {600, 350, 200, 200}};
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(w.screen.Image1(i).geometry(), expected[static_cast<std::size_t>(i - 1)]) << i;

    const std::string images = harness.folder() + "/Images/";
    EXPECT_EQ(w.screen.Text5.text(), images);
    const auto& pictures = w.engine().state().StimPicture;
    EXPECT_EQ(pictures[0], "");
    EXPECT_EQ(pictures[3], images + "3.bmp");
    EXPECT_EQ(pictures[7], images + "7.bmp");
    EXPECT_EQ(pictures[8], "");
}

} // namespace
} // namespace veltrum::session
