#include "SessionHarness.h"

#include "engine/Phase.h"
#include "session/SetupError.h"

#include <gtest/gtest.h>

namespace veltrum::session {
namespace {

using testing::SessionHarness;

// Loads one subject whose parameter workbook is `params`, against the summary `summary`.
crt& loadSubject(SessionHarness& harness, const std::string& subject,
                 const std::string& summary = "summary_main", const std::string& params = "params_standard") {
    harness.writeFile("CurrentSchedule.txt", subject + "\r\n");
    harness.useSummary(summary);
    harness.addParameters(subject, params);
    return harness.load();
}

struct NumberingCase {
    const char* name;
    std::string subject;
    std::string summary;
    int session;
    int phase;
    std::string phaseText;
};

// Test names in ctest show the case name rather than the bytes of the case.
void PrintTo(const NumberingCase& value, std::ostream* out) {
    *out << value.name;
}

class SessionNumberingTest : public ::testing::TestWithParam<NumberingCase> {};

TEST_P(SessionNumberingTest, NextSessionIsOneMoreThanTheLargestAndPhaseFollowsTheLastRow) {
    SessionHarness harness;
    crt& w = loadSubject(harness, GetParam().subject, GetParam().summary);
    EXPECT_EQ(w.engine().state().SessionNumber, GetParam().session);
    EXPECT_EQ(w.panel.SessionNum.text(), std::to_string(GetParam().session));
    EXPECT_EQ(w.engine().state().PhaseNumber, GetParam().phase);
    EXPECT_EQ(w.panel.Combo1.text(), GetParam().phaseText);
    EXPECT_EQ(w.panel.Combo1.listIndex(), GetParam().phase - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Summaries, SessionNumberingTest,
    ::testing::Values(NumberingCase{"AscendingOrder", "B1", "summary_main", 4, 2, "Auto"},
                      NumberingCase{"ShuffledOrderWithLowerCaseRow", "B1", "summary_shuffled", 4, 1,
                                    "MagTrain"},
                      NumberingCase{"LowerCaseSubject", "b1", "summary_main", 4, 2, "Auto"},
                      NumberingCase{"SubjectStoredAsNumber", "12", "summary_main", 6, 2, "Auto"},
                      NumberingCase{"NoRows", "N1", "summary_main", 1, 1, "MagTrain"},
                      NumberingCase{"SummaryWithoutRows", "B1", "summary_header_only", 1, 1, "MagTrain"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PhaseParametersTest, ParametersOfThePhaseGoToStateAndTimers) {
    SessionHarness harness;
    crt& w = loadSubject(harness, "C7"); // phase 3, SuccDisc
    EXPECT_EQ(w.engine().state().TotalTrials, 30);
    EXPECT_EQ(w.engine().state().SessionDuration, 33);
    EXPECT_EQ(w.engine().state().HeadDetect, 0); // the cell holds 2: only 1 turns it on
    EXPECT_EQ(w.engine().state().StimulusTotalCount, 7);
    EXPECT_EQ(w.engine().state().Instrumental, 1);
    EXPECT_EQ(w.engine().state().Pavlovian, 0);
    EXPECT_EQ(w.engine().state().HopperDuration, 5);
    EXPECT_EQ(w.engine().state().ResponseITI, 13);
    EXPECT_EQ(w.engine().state().ITITotalCount, 13);
    EXPECT_EQ(w.engine().state().NoResponseITI, 23);
    EXPECT_EQ(w.engine().state().FIDuration, 1000);
    EXPECT_EQ(w.engine().timers().Hopper_Timer.interval(), 5000);
    EXPECT_EQ(w.engine().timers().FI.interval(), 1000);
    EXPECT_FALSE(w.engine().timers().Hopper_Timer.isEnabled());
    EXPECT_FALSE(w.engine().timers().FI.isEnabled());
    EXPECT_EQ(w.panel.PhaseChange, 0);
    EXPECT_EQ(w.panel.Data1.databaseName(), harness.folder() + "/Parameters/C7.xls");
}

TEST(PhaseParametersTest, CellsConvertByRoundingHalvesToEvenAndReadingNumericText) {
    SessionHarness harness;
    harness.writeFile("CurrentSchedule.txt", "N1\r\n");
    harness.addParameters("N1", "params_conversions");
    crt& w = harness.load();                              // no summary rows: phase 1
    EXPECT_EQ(w.engine().state().TotalTrials, 2);         // 1.5
    EXPECT_EQ(w.engine().state().SessionDuration, 2);     // 2.5
    EXPECT_EQ(w.engine().state().HeadDetect, 0);          // 2
    EXPECT_EQ(w.engine().state().StimulusTotalCount, 12); // text "12"
    EXPECT_EQ(w.engine().state().Instrumental, 1);        // text "1"
    EXPECT_EQ(w.engine().state().Pavlovian, 0);           // blank
    EXPECT_EQ(w.engine().state().HopperDuration, 32);
    EXPECT_EQ(w.engine().timers().Hopper_Timer.interval(), 32000);
    EXPECT_EQ(w.engine().state().ResponseITI, 0);   // -0.5
    EXPECT_EQ(w.engine().state().NoResponseITI, 4); // 3.5
    EXPECT_EQ(w.engine().timers().FI.interval(), 32767);
}

TEST(PhaseParametersTest, PhaseZeroSelectsNoPhaseAndZeroesEveryParameter) {
    SessionHarness harness;
    crt& w = loadSubject(harness, "P0");
    EXPECT_EQ(w.engine().state().PhaseNumber, 0);
    EXPECT_EQ(w.panel.Combo1.listIndex(), -1);
    EXPECT_EQ(w.panel.Combo1.text(), "Pick Phase");
    EXPECT_EQ(w.engine().state().SessionNumber, 2);
    for (const Int16 value :
         {w.engine().state().TotalTrials, w.engine().state().SessionDuration, w.engine().state().HeadDetect,
          w.engine().state().StimulusTotalCount, w.engine().state().Instrumental,
          w.engine().state().Pavlovian, w.engine().state().HopperDuration, w.engine().state().ResponseITI,
          w.engine().state().NoResponseITI})
        EXPECT_EQ(value, 0);
    EXPECT_EQ(w.engine().timers().Hopper_Timer.interval(), 0);
    EXPECT_EQ(w.engine().timers().FI.interval(), 0);
}

struct FaultyCellCase {
    const char* name;
    std::string params;
    int phaseIndex;
    std::vector<std::string> messageParts;
};

// Test names in ctest show the case name rather than the bytes of the case.
void PrintTo(const FaultyCellCase& value, std::ostream* out) {
    *out << value.name;
}

class FaultyParameterTest : public ::testing::TestWithParam<FaultyCellCase> {};

// Picking the phase after start-up: the fault is reported and the panel keeps the phase it had.
TEST_P(FaultyParameterTest, PickingThePhaseReportsTheCellAndKeepsThePanel) {
    SessionHarness harness;
    harness.writeFile("CurrentSchedule.txt", "N1\r\n");
    harness.addParameters("N1", GetParam().params);
    crt& w = harness.load();
    ASSERT_EQ(w.engine().state().PhaseNumber, 1);

    w.panel.Combo1.select(GetParam().phaseIndex);

    ASSERT_EQ(harness.dialogs.messages().size(), 1u);
    const std::string& message = harness.dialogs.messages()[0].text;
    for (const std::string& part : GetParam().messageParts)
        EXPECT_NE(message.find(part), std::string::npos) << message << "\n lacks: " << part;
    EXPECT_EQ(w.engine().state().PhaseNumber, 1);
    EXPECT_EQ(w.panel.Combo1.listIndex(), 0);
    EXPECT_EQ(w.panel.Combo1.text(), "MagTrain");
}

INSTANTIATE_TEST_SUITE_P(
    Cells, FaultyParameterTest,
    ::testing::Values(
        FaultyCellCase{"HopperTimeAbove32Seconds",
                       "params_conversions",
                       1,
                       {"N1.xls", "cell C8", "HopperDuration", "33 s", "0 to 32"}},
        FaultyCellCase{
            "OutOfRange", "params_conversions", 2, {"cell D10", "NoResponseITI", "40000", "-32768 to 32767"}},
        FaultyCellCase{"NotANumber", "params_conversions", 3, {"cell E9", "\"ten\" is not a number"}},
        FaultyCellCase{"Blank", "params_faults", 1, {"cell C2", "TotalTrials", "blank"}},
        FaultyCellCase{"Negative", "params_faults", 2, {"cell D3", "-5 is negative"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PhaseParametersTest, FlagThatIsNotANumberIsOff) {
    SessionHarness harness;
    harness.writeFile("CurrentSchedule.txt", "N1\r\n");
    harness.addParameters("N1", "params_faults");
    crt& w = harness.load();
    w.panel.Combo1.select(3);
    EXPECT_TRUE(harness.dialogs.messages().empty());
    EXPECT_EQ(w.engine().state().HeadDetect, 0);
    EXPECT_EQ(w.engine().state().TotalTrials, 40);
}

TEST(PhaseParametersTest, HardwareFreeModeMakesEveryIntervalTwoSeconds) {
    SessionHarness harness;
    crt& w = loadSubject(harness, "B1");
    EXPECT_EQ(w.engine().state().ITITotalCount, 12);
    w.panel.Check1.click();
    EXPECT_EQ(w.panel.Check1.value(), 1);
    EXPECT_EQ(w.engine().state().ITITotalCount, 2);
    EXPECT_EQ(w.engine().state().ResponseITI, 12);
    w.panel.Check1.click();
    EXPECT_EQ(w.engine().state().ITITotalCount, 12);
}

// The table has a column for each phase of the phase list and no other: a phase beyond the list is
// refused, never read from a column that is not there.
TEST(ParameterTableTest, HoldsEveryPhaseOfTheListAndRefusesAnyOther) {
    ParameterTable table;
    const int phases = static_cast<int>(engine::phases().size());
    table.set(phases, ParameterTable::rows, workbook::Cell{workbook::CellKind::Number, 7.0, {}});
    EXPECT_EQ(table.at(phases, ParameterTable::rows)->number, 7.0);
    EXPECT_FALSE(table.at(0, 1)) << "no phase picked reads as empty";
    EXPECT_THROW(table.at(phases + 1, 1), std::out_of_range);
    EXPECT_THROW(table.set(1, ParameterTable::rows + 1, {}), std::out_of_range);
}

} // namespace
} // namespace veltrum::session
