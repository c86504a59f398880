// What the record writer writes reads back as written: cell records of every kind it writes, and a
// shared string table whose long string runs on into CONTINUE records.
#include "WorkbookBytes.h"

#include "workbook/Workbook.h"
#include "workbook/biff/RecordWriter.h"

#include <gtest/gtest.h>

namespace veltrum::workbook::test {
namespace {

namespace bytes = workbook::testing;
using bytes::Bytes;
using bytes::operator+;

TEST(RecordWriter, CellRecordsReadBackAsWritten) {
    Bytes cells;
    const RowTemplate format{0xFF, 0x00, 0, 0, 0, 0, 0x00, 0x01, 0x0F, 0x00};
    writeRow(cells, 1, 0, 4, format);
    writeNumber(cells, 1, 0, 0, -1234.0625);
    writeLabelSst(cells, 1, 1, 0, 0);
    writeLabel(cells, 1, 2, 0, u"caf\u00e9");
    writeLabel(cells, 1, 3, 0, u"\u9ce9 \U0001F426");
    bytes::WorkbookPlan plan;
    plan.sst = bytes::sstRecord(1, bytes::xlString("shared"));
    plan.sheets.push_back({"Rows", cells});

    const Workbook workbook = Workbook::fromBytes(bytes::workbookFile(plan), "rows.xls");
    const Sheet& sheet = workbook.sheet("Rows");
    EXPECT_EQ(sheet.cell(1, 0).number, -1234.0625);
    EXPECT_EQ(sheet.cell(1, 1).text, "shared");
    EXPECT_EQ(sheet.cell(1, 2).text, "caf\u00e9");
    EXPECT_EQ(sheet.cell(1, 3).text, "\u9ce9 \U0001F426");
}

TEST(RecordWriter, AStringLongerThanARecordRunsOnIntoContinueRecords) {
    // Wide characters with a surrogate pair wherever a record could end.
    std::u16string wide;
    for (int i = 0; i < 3000; ++i)
        wide += u"\u9ce9\U0001F426";
    std::vector<std::vector<std::uint8_t>> bodies{std::vector<std::uint8_t>(8, 0)};
    EXPECT_EQ(appendContinuedString(bodies, u"first"), (std::pair<std::uint32_t, std::uint32_t>{0, 8}));
    appendContinuedString(bodies, wide);
    ASSERT_GE(bodies.size(), 2u);
    for (const auto& body : bodies)
        EXPECT_LE(body.size(), kMaxRecordBody);
    bodies[0][4] = 2; // the table's count of strings

    Bytes table;
    const std::vector<std::span<const std::uint8_t>> views(bodies.begin(), bodies.end());
    const std::vector<std::size_t> starts = writeContinuedRecord(table, 0x00FC, views);
    EXPECT_EQ(starts.size(), bodies.size());
    bytes::WorkbookPlan plan;
    plan.sst = table;
    plan.sheets.push_back({"Strings", bytes::labelSstCell(0, 0, 0) + bytes::labelSstCell(1, 0, 1)});
    const Workbook workbook = Workbook::fromBytes(bytes::workbookFile(plan), "strings.xls");
    std::string expected;
    for (int i = 0; i < 3000; ++i)
        expected += "\u9ce9\U0001F426";
    EXPECT_EQ(workbook.sheet("Strings").cell(0, 0).text, "first");
    EXPECT_EQ(workbook.sheet("Strings").cell(1, 0).text, expected);
}

} // namespace
} // namespace veltrum::workbook::test
