// Texts added to the shared string table across record boundaries: every record stays within the
// size limit, a string continued into a CONTINUE record reads back whole, counts and EXTSST agree.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"
#include "workbook/biff/Layout.h"
#include "workbook/compound/CompoundFile.h"

#include <gtest/gtest.h>

namespace veltrum::workbook::test {
namespace {

std::string repeated(const std::string& unit, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += unit;
    return out;
}

struct TextCase {
    std::string unit;   // one character (UTF-8)
    std::size_t filler; // characters in texts appended first, to bring the table near a record boundary
    std::size_t length; // characters in the text under test
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) {
    return out << c.unit.size() << "-byte unit, filler " << c.filler << ", length " << c.length;
}

std::size_t largestStringRecord(const std::vector<std::uint8_t>& file) {
    const CompoundFile compound(file);
    const auto stream = compound.readStream(*compound.findStream("Workbook"));
    const BiffLayout layout = BiffLayout::parse(stream, "test");
    std::size_t largest = 0;
    for (std::size_t index : layout.sst)
        largest = std::max<std::size_t>(largest, layout.records[index].size);
    return largest;
}

class SharedStringSplit : public ::testing::TestWithParam<TextCase> {};

TEST_P(SharedStringSplit, TextReadsBackWholeAndRecordsStayWithinTheLimit) {
    const TextCase& c = GetParam();
    std::vector<std::uint8_t> bytes = readBytes(fixtureFile("mini.xls"));
    const std::string filler = repeated("f", c.filler);
    if (!filler.empty())
        bytes = appendRecordsToBytes(bytes, "mini", "Mini", {{{"name", AppendValue::fromText(filler)}}});
    const std::string text = repeated(c.unit, c.length);
    bytes = appendRecordsToBytes(bytes, "mini", "Mini", {{{"name", AppendValue::fromText(text)}}});

    EXPECT_EQ(checkWorkbookStructure(bytes), std::vector<std::string>{});
    EXPECT_LE(largestStringRecord(bytes), 8224u);
    const Workbook sheetBook = Workbook::fromBytes(bytes, "appended");
    const Sheet& sheet = sheetBook.sheet("Mini");
    EXPECT_EQ(sheet.cell(sheet.rowCount() - 1, 0).text, text);
    if (!filler.empty()) {
        EXPECT_EQ(sheet.cell(sheet.rowCount() - 2, 0).text, filler);
    }
}

std::vector<TextCase> splitCases() {
    std::vector<TextCase> cases;
    // The first CONTINUE boundary falls 8224 bytes into the table; lengths around it and far beyond.
    for (const std::string unit : {"a", "é", "鳩", "🐦"}) {
        for (std::size_t length : {1u, 8000u, 8215u, 8221u, 8222u, 8223u, 8224u, 8225u, 16383u, 32767u}) {
            if (length * (unit.size() == 4 ? 2 : 1) <= 32767) // an emoji takes two UTF-16 units
                cases.push_back({unit, 0, length});
        }
        for (std::size_t filler : {8100u, 8200u, 8210u})
            cases.push_back({unit, filler, 300});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Lengths, SharedStringSplit, ::testing::ValuesIn(splitCases()));

TEST(SharedStrings, RepeatedTextsShareOneEntry) {
    const auto bytes = readBytes(fixtureFile("mini.xls"));
    const auto once = appendRecordsToBytes(bytes, "mini", "Mini",
                                           {{{"name", AppendValue::fromText(std::string(1000, 's'))}}});
    std::vector<AppendRow> many(50, AppendRow{{"name", AppendValue::fromText(std::string(1000, 's'))}});
    const auto fifty = appendRecordsToBytes(bytes, "mini", "Mini", many);
    // 49 more rows of one LABELSST cell each, but not 49 more copies of the 1000-character text.
    EXPECT_LT(fifty.size() - once.size(), 49u * 64u);
    EXPECT_EQ(checkWorkbookStructure(fifty), std::vector<std::string>{});
}

TEST(SharedStrings, BytesAfterTheLastCountedStringAreNotReadAsANewString) {
    const auto bytes =
        withWorkbookStream(readBytes(fixtureFile("mini.xls")), [](std::vector<std::uint8_t>& stream) {
            const BiffLayout layout = BiffLayout::parse(stream, "mini");
            const RecordRef& sst = layout.records[layout.sst.back()];
            const std::uint32_t at = sst.offset;
            const std::uint32_t size = sst.size;
            insertIntoGlobals(stream, sst.end(), {0x07, 0x00, 0x01, 'j', 'u'});
            put16(stream, at + 2, static_cast<std::uint16_t>(size + 5));
        });
    const auto after =
        appendRecordsToBytes(bytes, "mini", "Mini", {{{"name", AppendValue::fromText("after junk")}}});
    EXPECT_EQ(checkWorkbookStructure(after), std::vector<std::string>{});
    const Workbook workbook = Workbook::fromBytes(after, "mini");
    const Sheet& sheet = workbook.sheet("Mini");
    EXPECT_EQ(sheet.cell(sheet.rowCount() - 1, 0).text, "after junk");
}

TEST(SharedStrings, TextLongerThanACellHoldsIsRefused) {
    const auto bytes = readBytes(fixtureFile("mini.xls"));
    EXPECT_THROW(appendRecordsToBytes(bytes, "mini", "Mini",
                                      {{{"name", AppendValue::fromText(std::string(32768, 'z'))}}}),
                 WorkbookError);
}

} // namespace
} // namespace veltrum::workbook::test
