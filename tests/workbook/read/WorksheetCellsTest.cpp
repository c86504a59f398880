#include "workbook/Workbook.h"
#include "workbook/read/WorksheetReader.h"

#include "WorkbookBytes.h"

#include <gtest/gtest.h>

namespace veltrum::workbook {
namespace {

using namespace testing;

const Sheet& onlySheet(const Workbook& workbook) {
    EXPECT_EQ(workbook.sheets().size(), 1u);
    return workbook.sheets().front();
}

Workbook readCells(const Bytes& records, const Bytes& globals = {}, const Bytes& sst = {}) {
    WorkbookPlan plan;
    plan.globals = globals;
    plan.sst = sst;
    plan.sheets.push_back({"Sheet1", records});
    return Workbook::fromBytes(workbookFile(plan), "cells.xls");
}

struct RkCase {
    std::uint32_t rk;
    double value;
};

class RkValues : public ::testing::TestWithParam<RkCase> {};

TEST_P(RkValues, DecodeToTheNumberExcelShows) {
    EXPECT_EQ(decodeRk(GetParam().rk), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    AllFourForms, RkValues,
    ::testing::Values(RkCase{(42u << 2) | 0x2, 42.0},                         // integer
                      RkCase{static_cast<std::uint32_t>(-7 * 4) | 0x2, -7.0}, // negative integer
                      RkCase{(12345u << 2) | 0x3, 123.45},                    // integer / 100
                      RkCase{0x3FF00000u, 1.0},                               // top bits of 1.0
                      RkCase{0xC0060000u, -2.75},                             // top bits of -2.75
                      RkCase{0x3FF80000u | 0x1, 0.015}),                      // 1.5 / 100
    [](const ::testing::TestParamInfo<RkCase>& info) { return "Rk" + std::to_string(info.index); });

TEST(WorksheetCells, MulRkAndMulBlankFillTheirColumns) {
    Bytes mulRk;
    putU16(mulRk, 2);
    putU16(mulRk, 1);
    for (std::uint32_t value : {(5u << 2) | 2u, (6u << 2) | 2u}) {
        putU16(mulRk, 0);
        putU32(mulRk, value);
    }
    putU16(mulRk, 2);
    const Bytes mulBlank{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0};
    const Workbook workbook = readCells(testing::record(0x00BD, mulRk) + testing::record(0x00BE, mulBlank));
    const Sheet& sheet = onlySheet(workbook);
    EXPECT_EQ(sheet.rowCount(), 4);
    EXPECT_EQ(sheet.columnCount(), 3);
    EXPECT_EQ(sheet.cell(2, 1).number, 5.0);
    EXPECT_EQ(sheet.cell(2, 2).number, 6.0);
    EXPECT_TRUE(sheet.cell(3, 2).blank);
    EXPECT_FALSE(sheet.cell(2, 0).blank);
}

TEST(WorksheetCells, BlankEmptyTextAndZeroStayApart) {
    const Workbook workbook = readCells(cellRecord(0x0201, 0, 0, 0) + labelSstCell(0, 1, 0) +
                                            numberCell(0, 2, 0.0) + cellRecord(0x0204, 0, 3, 0, xlString("")),
                                        {}, sstRecord(1, xlString("")));
    const Sheet& sheet = onlySheet(workbook);
    EXPECT_EQ(sheet.cell(0, 0).kind, CellKind::Empty);
    EXPECT_TRUE(sheet.cell(0, 0).blank);
    EXPECT_EQ(sheet.cell(0, 1).kind, CellKind::Text);
    EXPECT_EQ(sheet.cell(0, 1).text, "");
    EXPECT_EQ(sheet.cell(0, 2).kind, CellKind::Number);
    EXPECT_EQ(sheet.cell(0, 3).kind, CellKind::Text);
    EXPECT_EQ(sheet.cell(0, 9).kind, CellKind::Empty);
    EXPECT_FALSE(sheet.cell(0, 9).blank);
}

TEST(WorksheetCells, FormulasKeepTheirCachedResults) {
    const Bytes stringResult = testing::record(0x0207, xlString("from STRING"));
    const Bytes sharedFormula = testing::record(0x04BC, Bytes(10));
    const Workbook workbook = readCells(
        formulaSpecial(0, 0, 0) + sharedFormula + stringResult + formulaSpecial(0, 1, 1, 1) +
        formulaSpecial(0, 2, 2, 0x07) + formulaSpecial(0, 3, 3) + formulaNumber(0, 4, 2.5) +
        formulaSpecial(0, 5, 0) + numberCell(0, 6, 1.0) + testing::record(0x0207, xlString("stray")));
    const Sheet& sheet = onlySheet(workbook);
    EXPECT_EQ(sheet.cell(0, 0).text, "from STRING");
    EXPECT_TRUE(sheet.cell(0, 0).fromFormula);
    EXPECT_EQ(sheet.cell(0, 1).kind, CellKind::Boolean);
    EXPECT_TRUE(sheet.cell(0, 1).boolean);
    EXPECT_EQ(sheet.cell(0, 2).kind, CellKind::Error);
    EXPECT_EQ(sheet.cell(0, 2).errorCode, 0x07);
    EXPECT_EQ(sheet.cell(0, 3).kind, CellKind::Text);
    EXPECT_EQ(sheet.cell(0, 3).text, "");
    EXPECT_EQ(sheet.cell(0, 4).number, 2.5);
    // A STRING record after another cell belongs to no formula.
    EXPECT_EQ(sheet.cell(0, 5).text, "");
    EXPECT_EQ(sheet.cell(0, 6).number, 1.0);
}

struct FormatCase {
    const char* format;
    CellKind kind;
};

void PrintTo(const FormatCase& format, std::ostream* out) {
    *out << format.format << " as " << kindName(format.kind);
}

class CustomFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CustomFormats, GiveNumbersTheKindTheFormatShows) {
    const Bytes globals = formatRecord(164, GetParam().format) + xfRecord(0) + xfRecord(164);
    const Workbook workbook = readCells(numberCell(0, 0, 45000.25, 1), globals);
    EXPECT_EQ(onlySheet(workbook).cell(0, 0).kind, GetParam().kind) << GetParam().format;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CustomFormats,
    ::testing::Values(FormatCase{"yyyy-mm-dd", CellKind::Date},
                      FormatCase{"dd/mm/yyyy hh:mm", CellKind::DateTime},
                      FormatCase{"hh:mm:ss", CellKind::Time}, FormatCase{"[h]:mm", CellKind::Time},
                      FormatCase{"mm:ss.0", CellKind::Time}, FormatCase{"h:mm AM/PM", CellKind::Time},
                      FormatCase{"AM/PM", CellKind::Time}, FormatCase{"\"Shift \"am/pm", CellKind::Time},
                      FormatCase{"A/P", CellKind::Time}, FormatCase{"dd/mm/yyyy AM/PM", CellKind::DateTime},
                      FormatCase{"mmm", CellKind::Date}, FormatCase{"[$-409]d-mmm-yy;@", CellKind::Date},
                      FormatCase{"0.00", CellKind::Number}, FormatCase{"\"day\" 0", CellKind::Number},
                      FormatCase{"[Red]0.0", CellKind::Number}, FormatCase{"General", CellKind::Number},
                      FormatCase{"#,##0 \"ms\"", CellKind::Number}, FormatCase{"@", CellKind::Number}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return "Format" + std::to_string(info.index); });

TEST(WorksheetCells, BuiltInFormatsGiveDateTimeAndDateTimeKinds) {
    const Bytes globals = xfRecord(14) + xfRecord(21) + xfRecord(22) + xfRecord(46) + xfRecord(2);
    const Workbook workbook =
        readCells(numberCell(0, 0, 1, 0) + numberCell(0, 1, 1, 1) + numberCell(0, 2, 1, 2) +
                      numberCell(0, 3, 1, 3) + numberCell(0, 4, 1, 4) + numberCell(0, 5, 1, 99),
                  globals);
    const Sheet& sheet = onlySheet(workbook);
    EXPECT_EQ(sheet.cell(0, 0).kind, CellKind::Date);
    EXPECT_EQ(sheet.cell(0, 1).kind, CellKind::Time);
    EXPECT_EQ(sheet.cell(0, 2).kind, CellKind::DateTime);
    EXPECT_EQ(sheet.cell(0, 3).kind, CellKind::Time);
    EXPECT_EQ(sheet.cell(0, 4).kind, CellKind::Number);
    EXPECT_EQ(sheet.cell(0, 5).kind, CellKind::Number); // a style the workbook does not have
}

TEST(WorksheetCells, Dates1904AreShiftedToThe1900BasisButNumbersAndTimesAreNot) {
    const Bytes globals = testing::record(0x0022, {1, 0}) + xfRecord(0) + xfRecord(14) + xfRecord(21);
    const Workbook workbook =
        readCells(numberCell(0, 0, 0.0, 1) + numberCell(0, 1, 100.0, 0) + numberCell(0, 2, 0.5, 2), globals);
    EXPECT_TRUE(workbook.uses1904Dates());
    const Sheet& sheet = onlySheet(workbook);
    EXPECT_EQ(sheet.cell(0, 0).number, 1462.0);
    EXPECT_EQ(toDisplayText(sheet.cell(0, 0)), "1904-01-01");
    EXPECT_EQ(sheet.cell(0, 1).number, 100.0);
    EXPECT_EQ(sheet.cell(0, 2).kind, CellKind::Time);
    EXPECT_EQ(toDisplayText(sheet.cell(0, 2)), "12:00:00");
}

TEST(WorksheetCells, ChartSheetsAndEmbeddedChartsAreNotReadAsCells) {
    WorkbookPlan plan;
    const Bytes embeddedChart =
        testing::record(0x0809, {0, 6, 0x20, 0}) + numberCell(9, 9, 9.0) + testing::record(0x000A, {});
    plan.sheets.push_back({"Data", numberCell(0, 0, 1.0) + embeddedChart + numberCell(1, 0, 2.0)});
    plan.sheets.push_back({"Chart1", {}, 2});
    const Workbook workbook = Workbook::fromBytes(workbookFile(plan), "chart.xls");
    EXPECT_EQ(workbook.sheetNames(), std::vector<std::string>{"Data"});
    EXPECT_EQ(workbook.otherSheetNames(), std::vector<std::string>{"Chart1"});
    EXPECT_EQ(workbook.sheet("Data").rowCount(), 2);
    EXPECT_EQ(workbook.sheet("Data").columnCount(), 1);
    EXPECT_THROW(workbook.sheet("Chart1"), WorkbookError);
}

TEST(WorksheetCells, LaterRecordForTheSameCellWins) {
    const Workbook workbook =
        readCells(labelSstCell(0, 0, 0) + numberCell(0, 0, 3.0), {}, sstRecord(1, xlString("x")));
    const Cell& cell = onlySheet(workbook).cell(0, 0);
    EXPECT_EQ(cell.kind, CellKind::Number);
    EXPECT_EQ(cell.text, "");
}

} // namespace
} // namespace veltrum::workbook
