// `veltrum-xls append` arguments: Header[:kind]=value turned into typed values, malformed ones refused.
#include "AppendCommand.h"
#include "AppendSupport.h"

#include <gtest/gtest.h>

namespace veltrum::workbook::test {
namespace {

struct ArgumentCase {
    std::string argument;
    std::string header;
    ValueKind kind;
    std::string shown; // what the reader would show for the value
};

std::ostream& operator<<(std::ostream& out, const ArgumentCase& c) {
    return out << c.argument;
}

class FieldArgument : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(FieldArgument, ParsesHeaderKindAndValue) {
    const ArgumentCase& c = GetParam();
    const AppendField field = parseFieldArgument(c.argument);
    EXPECT_EQ(field.header, c.header);
    EXPECT_EQ(field.value.kind, c.kind);
    EXPECT_EQ(expectedText(field.value), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FieldArgument,
    ::testing::Values(
        ArgumentCase{"Subject=B1", "Subject", ValueKind::Text, "B1"},
        ArgumentCase{"Comments:text=a=b", "Comments", ValueKind::Text, "a=b"},
        ArgumentCase{"Box:number=3", "Box", ValueKind::Number, "3"},
        ArgumentCase{"HopPC:number=-0.25", "HopPC", ValueKind::Number, "-0.25"},
        ArgumentCase{"Date:date=2026-12-08", "Date", ValueKind::Date, "2026-12-08"},
        ArgumentCase{"Date:date=2024-02-29", "Date", ValueKind::Date, "2024-02-29"},
        ArgumentCase{"Time:time=13:45:00", "Time", ValueKind::Time, "13:45:00"},
        ArgumentCase{"Time:time=07:05", "Time", ValueKind::Time, "07:05:00"},
        ArgumentCase{"At:datetime=2026-12-08 13:45:30", "At", ValueKind::DateTime, "2026-12-08 13:45:30"},
        ArgumentCase{"At:datetime=2026-12-08T00:00:01", "At", ValueKind::DateTime, "2026-12-08 00:00:01"},
        ArgumentCase{"Box:number=", "Box", ValueKind::Empty, ""},
        ArgumentCase{"Box:empty=ignored", "Box", ValueKind::Empty, ""},
        ArgumentCase{"Ratio:x=1", "Ratio:x", ValueKind::Text, "1"}));

class MalformedArgument : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedArgument, IsRefused) {
    EXPECT_THROW(parseFieldArgument(GetParam()), WorkbookError);
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedArgument,
                         ::testing::Values("Subject", "=value", "Box:number=3x", "Box:number=1e999",
                                           "Date:date=2026-13-01", "Date:date=2025-02-29",
                                           "Date:date=08.12.2026", "Time:time=24:00:00", "Time:time=12:60",
                                           "At:datetime=2026-12-08"));

TEST(AppendCommand, AppendsOneRowToTheNamedSheet) {
    TemporaryFolder folder;
    const auto path = folder / "summary.xls";
    std::filesystem::copy_file(fixtureFile("summary.xls"), path);
    const int before = Workbook::open(path.string()).sheet("All").rowCount();
    EXPECT_EQ(appendCommand({path.string(), "All", "Subject=P9", "Box:number=4", "Date:date=2026-12-08"}), 0);
    const Workbook workbook = Workbook::open(path.string());
    const Sheet& sheet = workbook.sheet("All");
    ASSERT_EQ(sheet.rowCount(), before + 1);
    EXPECT_EQ(sheet.cell(before, 0).text, "P9");
    EXPECT_EQ(sheet.cell(before, 1).kind, CellKind::Date);
    EXPECT_EQ(appendCommand({path.string(), "All"}), 2);
}

} // namespace
} // namespace veltrum::workbook::test
