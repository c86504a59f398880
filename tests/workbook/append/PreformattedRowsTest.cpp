// A template whose rows below the header are formatted but empty (ROW records without cells): new rows
// fill those rows from the top, each keeping its one ROW record and its height.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"
#include "workbook/biff/Layout.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/compound/CompoundFileWriter.h"
#include "workbook/compound/CompoundImage.h"

#include <gtest/gtest.h>
#include <map>

namespace veltrum::workbook::test {
namespace {

constexpr std::uint16_t TallRow = 0x0200;

// mini.xls with ROW records of height TallRow for rows `from`..`to` inserted after its last cell.
std::vector<std::uint8_t> withFormattedRows(int from, int to) {
    const auto file = readBytes(fixtureFile("mini.xls"));
    const CompoundFile compound(file);
    CompoundImage image = CompoundImage::from(compound);
    auto& stream = image.streams[*compound.findStream("Workbook")];
    const BiffLayout layout = BiffLayout::parse(stream, "mini");
    std::size_t after = 0;
    for (const RecordRef& ref : layout.records) {
        if (isCellRecord(ref.type))
            after = ref.end();
    }
    std::vector<std::uint8_t> rows;
    for (int row = from; row <= to; ++row) {
        append16(rows, record::Row);
        append16(rows, 16);
        append16(rows, static_cast<std::uint16_t>(row));
        append16(rows, 0);
        append16(rows, 0);
        append16(rows, TallRow);
        append32(rows, 0);
        append32(rows, 0x000F0140); // custom height
    }
    stream.insert(stream.begin() + static_cast<long>(after), rows.begin(), rows.end());
    return writeCompoundFile(image);
}

std::map<int, std::vector<std::uint16_t>> rowHeights(const std::vector<std::uint8_t>& file) {
    const CompoundFile compound(file);
    const auto stream = compound.readStream(*compound.findStream("Workbook"));
    std::map<int, std::vector<std::uint16_t>> heights;
    for (const RecordRef& ref : BiffLayout::parse(stream, "mini").records) {
        if (ref.type == record::Row)
            heights[get16(stream, ref.body())].push_back(get16(stream, ref.body() + 6));
    }
    return heights;
}

class PreformattedRows : public ::testing::TestWithParam<int> {};

TEST_P(PreformattedRows, FillFromTheTopKeepingOneRowRecordEach) {
    const int count = GetParam();
    const auto before = withFormattedRows(3, 70);
    const int oldRows = Workbook::fromBytes(before, "mini").sheet("Mini").rowCount();
    std::vector<AppendRow> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({{"name", AppendValue::fromText("n" + std::to_string(i))},
                        {"value", AppendValue::fromNumber(i)}});

    const auto after = appendRecordsToBytes(before, "mini", "Mini", rows);

    EXPECT_EQ(checkWorkbookStructure(after), std::vector<std::string>{});
    const Workbook workbook = Workbook::fromBytes(after, "mini");
    const Sheet& sheet = workbook.sheet("Mini");
    ASSERT_EQ(sheet.rowCount(), oldRows + count);
    EXPECT_EQ(sheet.cell(oldRows, 0).text, "n0");
    for (const auto& [row, heights] : rowHeights(after)) {
        ASSERT_EQ(heights.size(), 1u) << "row " << row;
        if (row >= 3 && row <= 70) {
            EXPECT_EQ(heights.front(), TallRow) << "row " << row;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, PreformattedRows, ::testing::Values(1, 29, 30, 61, 100));

} // namespace
} // namespace veltrum::workbook::test
