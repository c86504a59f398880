#include "workbook/Cell.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <ostream>

namespace veltrum::workbook {
namespace {

Cell make(CellKind kind, double number) {
    Cell cell;
    cell.kind = kind;
    cell.number = number;
    return cell;
}

struct TextCase {
    Cell cell;
    const char* text;
};

void PrintTo(const TextCase& value, std::ostream* out) {
    *out << kindName(value.cell.kind) << " " << value.cell.number << " as \"" << value.text << "\"";
}

class DisplayText : public ::testing::TestWithParam<TextCase> {};

TEST_P(DisplayText, ShowsTheValueAsUsersSeeIt) {
    EXPECT_EQ(toDisplayText(GetParam().cell), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DisplayText,
    ::testing::Values(TextCase{make(CellKind::Number, 3.0), "3"}, TextCase{make(CellKind::Number, -0.0), "0"},
                      TextCase{make(CellKind::Number, 0.1), "0.1"},
                      TextCase{make(CellKind::Number, 1.0 / 3.0), "0.3333333333333333"},
                      TextCase{make(CellKind::Number, 123456789012.0), "123456789012"},
                      TextCase{make(CellKind::Number, 1e300), "1e+300"},
                      TextCase{make(CellKind::Number, std::numeric_limits<double>::quiet_NaN()), "#NUM!"},
                      TextCase{make(CellKind::Date, 45293.0), "2024-01-02"},
                      TextCase{make(CellKind::Date, 61.0), "1900-03-01"},
                      TextCase{make(CellKind::Date, -1.0), "1899-12-29"},
                      TextCase{make(CellKind::DateTime, 45293.12784349537), "2024-01-02 03:04:05.678"},
                      TextCase{make(CellKind::DateTime, 45293.5), "2024-01-02 12:00:00"},
                      TextCase{make(CellKind::DateTime, 45293.99999999999), "2024-01-03 00:00:00"},
                      TextCase{make(CellKind::Time, 0.75), "18:00:00"},
                      TextCase{make(CellKind::Time, 1.5), "36:00:00"},
                      TextCase{make(CellKind::Time, 1.0 / 86400 / 2), "00:00:00.500"},
                      TextCase{make(CellKind::Date, 1e12), "1e+12"},
                      TextCase{make(CellKind::Empty, 5.0), ""}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return "Case" + std::to_string(info.index); });

TEST(DisplayText, BooleansAndErrorsReadAsInExcel) {
    Cell cell;
    cell.kind = CellKind::Boolean;
    cell.boolean = true;
    EXPECT_EQ(toDisplayText(cell), "TRUE");
    cell.kind = CellKind::Error;
    cell.errorCode = 0x07;
    EXPECT_EQ(toDisplayText(cell), "#DIV/0!");
    cell.errorCode = 0x2A;
    EXPECT_EQ(toDisplayText(cell), "#N/A");
}

TEST(DisplayText, NumbersReadBackAsTheSameDouble) {
    for (double value : {0.1 + 0.2, 1e-7, 5e-324, 1.7976931348623157e308, -123.456, 2.0 / 3.0})
        EXPECT_EQ(std::strtod(formatNumber(value).c_str(), nullptr), value) << formatNumber(value);
}

} // namespace
} // namespace veltrum::workbook
