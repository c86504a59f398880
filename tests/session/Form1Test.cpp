#include "session/Form1.h"

#include "session/crt.h"
#include "support/SessionFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

using namespace veltrum;
using forms::Int16;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

// The demo data folder in a temporary directory: subjects P101 (sessions 1 to 3, the last in "Auto"),
// P102 and P103 (no sessions); the main window loads P103, the last subject of the schedule.
class Form1Test : public ::testing::Test, protected veltrum::testing::SessionFixture {
protected:
    void SetUp() override {
        clock.setStart(37230.0);
        summaryPath = folder() + "/Results/Results_Summary.xls";
        main = &window();
        main->Form_Load();
        form = std::make_unique<session::Form1>(main->endedSession(), services());
        form->Form_Load();
    }
    void TearDown() override { form.reset(); }

    std::unique_ptr<session::crt> makeMainWindow() { return std::make_unique<session::crt>(services()); }

    void press(char key) {
        Int16 KeyAscii = key;
        form->Form_KeyPress(KeyAscii);
    }
    // The summary workbook's records as the next start-up reads them.
    std::unique_ptr<session::DataControl> summaryTable() {
        auto data = std::make_unique<session::DataControl>(fileSystem, "Check");
        data->setDatabaseName(summaryPath);
        data->setRecordSource("All$");
        data->refresh();
        return data;
    }
    int summaryRecords() { return summaryTable()->recordCount(); }
    std::string lastMessage() const {
        return dialogs.messages().empty() ? "" : dialogs.messages().back().text;
    }
    void expectStillOpen() {
        EXPECT_FALSE(form->isFinished());
        EXPECT_FALSE(lifetime.ended());
        EXPECT_TRUE(form->Form.isVisible());
    }

    std::string summaryPath;
    session::crt* main = nullptr;
    std::unique_ptr<session::Form1> form;
};

TEST_F(Form1Test, OpensWithTheTotalsAndTheCommentBoxHidden) {
    EXPECT_EQ(form->Form.caption(), "Form1");
    EXPECT_EQ(form->Trials.caption(), "0");
    EXPECT_EQ(form->HopPC.caption(), "0");
    EXPECT_EQ(form->Pecks.caption(), "0");
    EXPECT_FALSE(form->Text1.isVisible());
    EXPECT_FALSE(form->Command1.isVisible());
    EXPECT_EQ(form->Text1.text(), "");
    // 3000, 2520, 7092, 4812 twips at 15 twips per pixel.
    EXPECT_EQ(form->Text1.geometry(), (forms::Geometry{200, 168, 473, 321}));
}

TEST_F(Form1Test, KeyCShowsTheCommentBoxAndTheButtonInEitherCase) {
    press('c');
    EXPECT_TRUE(form->Text1.isVisible());
    EXPECT_TRUE(form->Command1.isVisible());
    press('C');
    EXPECT_TRUE(form->Text1.isVisible());
    expectStillOpen();
}

TEST_F(Form1Test, OtherKeysDoNothing) {
    for (char key : std::string("xEe1 \r\x1b"))
        press(key);
    EXPECT_FALSE(form->Text1.isVisible());
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(summaryRecords(), 4);
    expectStillOpen();
}

// A new user presses C and types the comment straight away: the letters are comment text, never keys.
TEST_F(Form1Test, CommentTypedStraightAfterCIsNeitherSavedNorDiscarded) {
    main->Command1_Click();
    press('C');
    for (const char key : std::string("test a good"))
        press(key);
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_TRUE(std::filesystem::exists(main->engine().state().NewDataFile));
    EXPECT_EQ(summaryRecords(), 4);
    expectStillOpen();
}

TEST_F(Form1Test, KeysAreCommentTextOnceTheCommentBoxHasTheFocus) {
    press('C');
    form->Text1_GotFocus();
    form->Text1.setText("d s");
    press('d');
    press('s');
    EXPECT_EQ(form->Text1.text(), "d s");
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(summaryRecords(), 4);
    expectStillOpen();
}

TEST_F(Form1Test, SavingAppendsOneRecordClosesTheWorkbooksAndEndsTheProgram) {
    main->Command1_Click();
    ASSERT_EQ(main->rows.Data2.databaseName(), main->engine().state().NewDataFile);
    press('C');
    form->Text1.setText("SHAPING KEYS USED. calm bird");
    form->Command1.click();

    EXPECT_TRUE(form->isFinished());
    EXPECT_EQ(lifetime.endCount(), 1);
    EXPECT_FALSE(form->Form.isVisible());
    EXPECT_FALSE(main->Form.isVisible());
    EXPECT_FALSE(main->panel.Data1.isOpen());
    EXPECT_FALSE(main->rows.Data2.isOpen());
    EXPECT_FALSE(main->rows.Data3.isOpen());
    EXPECT_TRUE(dialogs.messages().empty());

    const auto summary = summaryTable();
    ASSERT_EQ(summary->recordCount(), 5);
    const workbook::Table& table = summary->table();
    EXPECT_EQ(table.field(4, "Subject").text, "P103");
    EXPECT_EQ(table.field(4, "Box").number, 12345);
    EXPECT_EQ(table.field(4, "Session").number, main->engine().state().SessionNumber.toDouble());
    EXPECT_EQ(table.field(4, "TT").number, main->engine().state().TotalTrials.toDouble());
    EXPECT_EQ(table.field(4, "SD").number, main->engine().state().StimulusTotalCount.toDouble());
    EXPECT_EQ(table.field(4, "Date").kind, workbook::CellKind::Date);
    EXPECT_EQ(table.field(4, "Time").kind, workbook::CellKind::Time);
    EXPECT_EQ(table.field(4, "HopPC").kind, workbook::CellKind::Number);
    EXPECT_EQ(table.field(4, "ShapingKeys").text, "Yes");
    EXPECT_EQ(table.field(4, "Comments").text, "SHAPING KEYS USED. calm bird");
}

TEST_F(Form1Test, NothingSavesTwice) {
    press('S');
    press('S');
    form->Command1.setVisible(true);
    form->Command1.click();
    Int16 cancel = 1;
    form->Form_QueryUnload(cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(summaryRecords(), 5);
    EXPECT_EQ(lifetime.endCount(), 1);
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(Form1Test, ButtonSavesAsKeySDoes) {
    press('C');
    form->Command1.click();
    EXPECT_EQ(summaryRecords(), 5);
    EXPECT_TRUE(form->isFinished());
}

TEST_F(Form1Test, ShapingKeysFollowsTheBoxAtSavingTimeNotTheSession) {
    form->Text1.setText("shaping keys used. typed by hand");
    press('S');
    EXPECT_EQ(summaryTable()->table().field(4, "ShapingKeys").text, "No");
}

TEST_F(Form1Test, CommentBoxHoldsAtMostTwoColumnsOfCharacters) {
    std::string typed;
    for (int i = 0; i < 600; ++i)
        typed += "\xC3\xA9"; // é: two bytes, one character
    form->Text1.setText(typed);
    EXPECT_TRUE(form->Text1.text() == typed.substr(0, 2 * 510));
    press('S');
    const auto summary = summaryTable();
    const workbook::Table& table = summary->table();
    EXPECT_TRUE(table.field(4, "Comments").text + table.field(4, "Comments2").text ==
                typed.substr(0, 2 * 510));
}

// Why the summary workbook cannot take the record, set up on the data folder; undone by `repair`.
struct SaveFailure {
    const char* name;
    void (*cause)(const std::string& summaryPath, const std::string& fixtureFolder);
    void (*repair)(const std::string& summaryPath, const std::string& demoFolder);
    const char* messageNames;
};

class Form1SaveFailureTest : public Form1Test, public ::testing::WithParamInterface<SaveFailure> {};

TEST_P(Form1SaveFailureTest, FailingSaveKeepsTheWindowOpenAndARetrySucceeds) {
    const SaveFailure& failure = GetParam();
    failure.cause(summaryPath, VELTRUM_SESSION_FIXTURES);
    press('C');
    form->Text1.setText("first try");
    form->Command1.click();

    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].icon, MessageIcon::Critical);
    EXPECT_NE(lastMessage().find("not saved"), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find(failure.messageNames), std::string::npos) << lastMessage();
    expectStillOpen();
    EXPECT_EQ(form->Text1.text(), "first try");
    EXPECT_TRUE(form->Text1.isVisible());

    failure.repair(summaryPath, VELTRUM_DEMO_DATA_DIR);
    const int before = summaryRecords();
    form->Command1.click();
    EXPECT_TRUE(form->isFinished());
    EXPECT_EQ(summaryRecords(), before + 1);
    EXPECT_EQ(summaryTable()->table().field(before, "Comments").text, "first try");
}

void restoreDemoSummary(const std::string& summaryPath, const std::string& demoFolder) {
    std::filesystem::copy_file(demoFolder + "/Results/Results_Summary.xls", summaryPath,
                               std::filesystem::copy_options::overwrite_existing);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, Form1SaveFailureTest,
    ::testing::Values(
        SaveFailure{"MissingWorkbook",
                    [](const std::string& path, const std::string&) { std::filesystem::remove(path); },
                    restoreDemoSummary, "Results_Summary.xls"},
        SaveFailure{"OpenInASpreadsheet",
                    [](const std::string& path, const std::string&) {
                        const auto file = std::filesystem::path(path);
                        std::ofstream(file.parent_path() / (".~lock." + file.filename().string() + "#"))
                            << "someone,host,host,01.01.2026 10:00,\n";
                    },
                    [](const std::string& path, const std::string&) {
                        const auto file = std::filesystem::path(path);
                        std::filesystem::remove(file.parent_path() /
                                                (".~lock." + file.filename().string() + "#"));
                    },
                    "Results_Summary.xls"},
        SaveFailure{"ColumnMissing",
                    [](const std::string& path, const std::string& fixtures) {
                        std::filesystem::copy_file(fixtures + "/summary_without_phase.xls", path,
                                                   std::filesystem::copy_options::overwrite_existing);
                    },
                    restoreDemoSummary, "no column"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, DiscardAsksAndNoOrEnterLeavesTheSessionAsItIs) {
    main->Command1_Click();
    press('d'); // nothing queued: the box is answered as Enter would
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.messages()[0].defaultButton, platform::MessageDefault::No);
    EXPECT_TRUE(std::filesystem::exists(main->engine().state().NewDataFile));
    for (const auto& entry : std::filesystem::directory_iterator(folder() + "/Results"))
        EXPECT_EQ(entry.path().filename().string().find("discarded"), std::string::npos) << entry.path();
    expectStillOpen();
    press('s');
    EXPECT_EQ(summaryRecords(), 5);
}

TEST_F(Form1Test, DiscardWithYesSetsTheWorkbookAsideAndTheNextRunOffersTheSameSession) {
    const auto& subjects = main->panel.Subject_In.entries();
    const auto p101 = std::find(subjects.begin(), subjects.end(), "P101") - subjects.begin();
    main->panel.Subject_In.select(static_cast<int>(p101));
    main->Command1_Click();
    const std::string dataFile = main->engine().state().NewDataFile;
    ASSERT_EQ(dataFile, folder() + "/Results/P101.4.xls");
    const auto summaryBefore = std::filesystem::file_size(summaryPath);

    // Rows a journal holds for the workbook follow it, so the next start brings them into it there.
    std::ofstream(folder() + "/Results/.P101.4.xls.journal") << "rows not yet in the workbook\n";

    dialogs.queueAnswer(MessageAnswer::Yes);
    press('D');
    const std::string aside = folder() + "/Results/P101.4.discarded.xls";
    EXPECT_FALSE(std::filesystem::exists(dataFile));
    EXPECT_TRUE(std::filesystem::exists(aside));
    EXPECT_FALSE(std::filesystem::exists(folder() + "/Results/.P101.4.xls.journal"));
    EXPECT_TRUE(std::filesystem::exists(folder() + "/Results/.P101.4.discarded.xls.journal"));
    EXPECT_EQ(std::filesystem::file_size(summaryPath), summaryBefore);
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_EQ(dialogs.messages()[1].icon, MessageIcon::Information);
    EXPECT_NE(lastMessage().find(aside), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find("offers session 4 of P101 again"), std::string::npos) << lastMessage();
    EXPECT_FALSE(main->rows.Data2.isOpen());
    EXPECT_TRUE(form->isFinished());
    EXPECT_EQ(lifetime.endCount(), 1);

    auto next = makeMainWindow();
    next->Form_Load();
    next->panel.Subject_In.select(static_cast<int>(p101));
    EXPECT_EQ(next->panel.SessionNum.text(), "4");
}

TEST_F(Form1Test, ASecondDiscardOfTheSameSessionKeepsTheFirst) {
    main->Command1_Click();
    const std::string dataFile = main->engine().state().NewDataFile;
    const std::string stem = dataFile.substr(0, dataFile.size() - 4);
    std::ofstream(stem + ".discarded.xls") << "the first discarded session";
    dialogs.queueAnswer(MessageAnswer::Yes);
    press('D');
    EXPECT_TRUE(std::filesystem::exists(stem + ".discarded-2.xls"));
    std::ifstream first(stem + ".discarded.xls");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}), "the first discarded session");
    EXPECT_NE(lastMessage().find(stem + ".discarded-2.xls"), std::string::npos) << lastMessage();
}

TEST_F(Form1Test, DiscardThatCannotSetTheWorkbookAsideSaysSoAndKeepsTheWindowOpen) {
    main->Command1_Click();
    std::filesystem::remove(main->engine().state().NewDataFile);
    dialogs.queueAnswer(MessageAnswer::Yes);
    press('D');
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_NE(lastMessage().find("not set aside"), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find(main->engine().state().NewDataFile), std::string::npos) << lastMessage();
    expectStillOpen();
    EXPECT_EQ(summaryRecords(), 4);
    press('S');
    EXPECT_TRUE(form->isFinished());
}

TEST_F(Form1Test, ClosingTheWindowAsksAndCancelGoesBack) {
    dialogs.queueAnswer(MessageAnswer::Cancel);
    Int16 cancel = 0;
    form->Form_QueryUnload(cancel);
    EXPECT_EQ(cancel, 1);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].buttons, MessageButtons::YesNoCancel);
    expectStillOpen();
    EXPECT_EQ(summaryRecords(), 4);
}

TEST_F(Form1Test, ClosingTheWindowWithYesSaves) {
    dialogs.queueAnswer(MessageAnswer::Yes);
    Int16 cancel = 1;
    form->Form_QueryUnload(cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(summaryRecords(), 5);
    EXPECT_TRUE(lifetime.ended());
}

TEST_F(Form1Test, ClosingTheWindowStaysOpenWhenTheChosenSaveFails) {
    std::filesystem::remove(summaryPath);
    dialogs.queueAnswer(MessageAnswer::Yes);
    Int16 cancel = 0;
    form->Form_QueryUnload(cancel);
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(dialogs.messages().size(), 2u);
    expectStillOpen();
}

TEST_F(Form1Test, ASessionRunToItsEndOpensTheSummaryOnItsTotals) {
    std::unique_ptr<session::Form1> opened;
    main->setSummaryWindowOpener([&] {
        opened = std::make_unique<session::Form1>(main->endedSession(), services());
        opened->Form_Load();
    });
    main->Command1_Click();
    Int16 start = 'S';
    main->Form_KeyPress(start);
    for (int minute = 0; minute < 60 && !opened; ++minute)
        scheduler.advanceBy(60000);
    ASSERT_NE(opened, nullptr);
    ASSERT_GT(main->engine().state().CurrentTrial, 0);
    EXPECT_EQ(opened->Trials.caption(), main->engine().state().CurrentTrial.toString());

    Int16 save = 's';
    opened->Form_KeyPress(save);
    const auto summary = summaryTable();
    const workbook::Table& table = summary->table();
    ASSERT_EQ(table.recordCount(), 5);
    EXPECT_EQ(table.field(4, "Trials").number, main->engine().state().CurrentTrial.toDouble());
    EXPECT_EQ(table.field(4, "Duration").text, main->engine().state().SessionTime.toString());
    EXPECT_EQ(table.field(4, "Timeouts").text, main->engine().state().Timeouts.toString());
}

TEST_F(Form1Test, NextStartOffersTheFollowingSessionInTheSavedPhase) {
    // The operator had picked P101, whose last session was 3 in "Auto".
    const auto& subjects = main->panel.Subject_In.entries();
    const auto p101 = std::find(subjects.begin(), subjects.end(), "P101") - subjects.begin();
    main->panel.Subject_In.select(static_cast<int>(p101));
    ASSERT_EQ(main->panel.SessionNum.text(), "4");
    main->Command1_Click();
    form->Form_Load();
    press('S');
    ASSERT_TRUE(form->isFinished());

    auto next = makeMainWindow();
    next->Form_Load();
    next->panel.Subject_In.select(static_cast<int>(p101));
    EXPECT_EQ(next->panel.SessionNum.text(), "5");
    EXPECT_EQ(next->panel.Combo1.text(), "Auto");
}

} // namespace
