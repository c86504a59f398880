// Appending 1 to 150 rows to LibreOffice- and Excel-written workbooks: the other sheets, the old rows and
// the other streams stay as they were, the new rows read back with their kinds, the structures add up.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace veltrum::workbook::test {
namespace {

struct Source {
    std::string file;  // fixture name, or "corpus:" + path inside the corpus
    std::string sheet; // "" = the first sheet whose first row names columns
};

std::ostream& operator<<(std::ostream& out, const Source& source) {
    return out << source.file << " [" << source.sheet << "]";
}

std::filesystem::path pathOf(const Source& source) {
    if (source.file.rfind("corpus:", 0) == 0)
        return corpusFile(source.file.substr(7));
    return fixtureFile(source.file);
}

const Source Sources[] = {
    {"summary.xls", "All"},
    {"mini.xls", "Mini"},
    {"parameters.xls", "Parameters"},
    {"types.xls", "Dates"},
    {"long_strings.xls", "Many"},
    {"corpus:libxls/types.xls", ""},
    {"corpus:libxls/test2.xls", ""},
    {"corpus:libxls/utf8-sheet-names.xls", ""},
    {"corpus:libxls/iris-excel-xls.xls", ""},
    {"corpus:libxls/empty-sheets.xls", "header_only"},
    {"corpus:libxls/more-than-256-unique-strings-xls.xls", ""},
    {"corpus:xlrd/namesdemo.xls", ""},
    {"corpus:xlrd/formula_test_sjmachin.xls", ""},
    {"corpus:xlrd/Formate.xls", ""},
    {"corpus:xlrd/profiles.xls", ""},
};

const int RowCounts[] = {1, 31, 32, 33, 150};

class RoundTrip : public ::testing::TestWithParam<std::tuple<Source, int>> {};

TEST_P(RoundTrip, KeepsEverythingElseAndReadsBackTheNewRows) {
    const auto& [source, count] = GetParam();
    const auto path = pathOf(source);
    const std::vector<std::uint8_t> before = readBytes(path);
    const Workbook original = Workbook::fromBytes(before, path.string());
    std::string sheetName = source.sheet;
    if (sheetName.empty()) {
        for (const Sheet& sheet : original.sheets()) {
            if (!headerNames(sheet).empty()) {
                sheetName = sheet.name();
                break;
            }
        }
    }
    if (sheetName.empty())
        GTEST_SKIP() << source.file << " has no sheet whose first row names columns";
    const Sheet& oldSheet = original.sheet(sheetName);
    const std::vector<std::string> headers = headerNames(oldSheet);
    const std::vector<AppendRow> rows = sampleRows(headers, oldSheet.rowCount(), count);

    const std::vector<std::uint8_t> after = appendRecordsToBytes(before, path.string(), sheetName, rows);

    EXPECT_EQ(checkWorkbookStructure(after), std::vector<std::string>{});
    EXPECT_EQ(otherStreamDifferences(before, after, "Workbook"), std::vector<std::string>{});
    const Workbook appended = Workbook::fromBytes(after, "appended");
    ASSERT_EQ(appended.sheetNames(), original.sheetNames());
    for (const Sheet& sheet : original.sheets()) {
        if (sheet.name() != oldSheet.name()) {
            EXPECT_EQ(sheetCells(appended.sheet(sheet.name())), sheetCells(sheet))
                << "sheet " << sheet.name();
        }
    }
    const Sheet& newSheet = appended.sheet(sheetName);
    const auto oldCells = sheetCells(oldSheet);
    const auto newCells = sheetCells(newSheet);
    ASSERT_GE(newCells.size(), oldCells.size());
    for (std::size_t r = 0; r < oldCells.size(); ++r) {
        const std::vector<std::string> prefix(newCells[r].begin(), newCells[r].begin() + oldCells[r].size());
        EXPECT_EQ(prefix, oldCells[r]) << "old row " << r;
    }
    // A row whose values are all empty writes no cell; at the end of the sheet it leaves no trace.
    int written = count;
    while (written > 0 &&
           std::all_of(rows[written - 1].begin(), rows[written - 1].end(),
                       [](const AppendField& f) { return expectedKind(f.value) == CellKind::Empty; }))
        --written;
    ASSERT_EQ(newSheet.rowCount(), oldSheet.rowCount() + written);
    for (int r = 0; r < written; ++r) {
        const int row = oldSheet.rowCount() + r;
        for (const AppendField& field : rows[r]) {
            int column = 0;
            while (column < newSheet.columnCount() && toDisplayText(newSheet.cell(0, column)) != field.header)
                ++column;
            Cell cell = newSheet.cell(row, column);
            // A time of day is stored as the fraction alone in either date system; the reader counts
            // every date-formatted number from 1904 in such workbooks, so compare the time of day only.
            if (cell.kind == CellKind::Time)
                cell.number = std::fmod(cell.number, 1.0);
            EXPECT_EQ(cell.kind, expectedKind(field.value)) << "row " << row << " column " << field.header;
            EXPECT_EQ(toDisplayText(cell), expectedText(field.value))
                << "row " << row << " column " << field.header;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Workbooks, RoundTrip,
                         ::testing::Combine(::testing::ValuesIn(Sources), ::testing::ValuesIn(RowCounts)));

TEST(RoundTripSequence, ManySmallAppendsEqualOneLargeAppend) {
    TemporaryFolder folder;
    const auto path = folder / "summary.xls";
    std::filesystem::copy_file(fixtureFile("summary.xls"), path);
    const Workbook original = Workbook::open(path.string());
    const auto headers = headerNames(original.sheet("All"));
    const int first = original.sheet("All").rowCount();
    for (int r = 0; r < 70; ++r)
        appendRecords(path.string(), "All", sampleRows(headers, first + r, 1));
    const auto oneByOne = readBytes(path);
    EXPECT_EQ(checkWorkbookStructure(oneByOne), std::vector<std::string>{});
    const auto atOnce = appendRecordsToBytes(readBytes(fixtureFile("summary.xls")), "summary", "All",
                                             sampleRows(headers, first, 70));
    EXPECT_EQ(sheetCells(Workbook::fromBytes(oneByOne, "a").sheet("All")),
              sheetCells(Workbook::fromBytes(atOnce, "b").sheet("All")));
}

} // namespace
} // namespace veltrum::workbook::test
