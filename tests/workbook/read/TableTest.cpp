#include "workbook/Table.h"

#include "WorkbookBytes.h"

#include <gtest/gtest.h>

namespace veltrum::workbook {
namespace {

using namespace testing;

Workbook summary() {
    WorkbookPlan plan;
    plan.sst =
        sstRecord(4, xlString("Subject") + xlString("Session") + xlString("Phase") + xlString("Pigeon 7"));
    plan.sheets.push_back({"All", labelSstCell(0, 0, 0) + labelSstCell(0, 1, 1) + labelSstCell(0, 2, 2) +
                                      labelSstCell(1, 0, 3) + numberCell(1, 1, 12) + numberCell(1, 2, 3) +
                                      numberCell(3, 1, 13)});
    return Workbook::fromBytes(workbookFile(plan), "Results_Summary.xls");
}

TEST(Table, FirstRowNamesTheColumnsAndLaterRowsAreRecords) {
    const Workbook workbook = summary();
    const Table table(workbook, "all");
    EXPECT_EQ(table.header(), (std::vector<std::string>{"Subject", "Session", "Phase"}));
    EXPECT_EQ(table.recordCount(), 3);
    EXPECT_EQ(table.field(0, "Subject").text, "Pigeon 7");
    EXPECT_EQ(table.field(0, 1).number, 12.0);
    EXPECT_TRUE(table.field(1, "Session").isEmpty());
    EXPECT_EQ(table.field(2, "session").number, 13.0);
}

TEST(Table, FindsColumnsExactlyFirstThenIgnoringCase) {
    const Workbook workbook = summary();
    const Table table(workbook, "All");
    EXPECT_EQ(table.findColumn("Phase"), 2);
    EXPECT_EQ(table.findColumn("PHASE"), 2);
    EXPECT_EQ(table.findColumn("Trial"), -1);
}

TEST(Table, MissingColumnOrSheetIsReportedWithFileSheetAndName) {
    const Workbook workbook = summary();
    const Table table(workbook, "All");
    try {
        table.column("Trial");
        FAIL();
    } catch (const WorkbookError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("Results_Summary.xls"), std::string::npos) << message;
        EXPECT_NE(message.find("'All'"), std::string::npos) << message;
        EXPECT_NE(message.find("'Trial'"), std::string::npos) << message;
    }
    EXPECT_THROW(Table(workbook, "Data"), WorkbookError);
}

} // namespace
} // namespace veltrum::workbook
