// The shared string table: strings split across CONTINUE records read back whole, and texts added
// across record boundaries keep every record within the size limit, with counts and EXTSST that agree.
#include "AppendSupport.h"
#include "WorkbookBytes.h"

#include "workbook/Workbook.h"
#include "workbook/append/StructureCheck.h"
#include "workbook/biff/Layout.h"
#include "workbook/compound/CompoundFile.h"

#include <gtest/gtest.h>

namespace veltrum::workbook::test {
namespace {

namespace bytes = workbook::testing;
using bytes::Bytes;
using bytes::operator+;

Bytes u16(std::u16string_view text) {
    Bytes out;
    for (char16_t c : text)
        bytes::putU16(out, c);
    return out;
}

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes header(std::uint16_t count, std::uint8_t flags) {
    Bytes out;
    bytes::putU16(out, count);
    bytes::putU8(out, flags);
    return out;
}

struct SplitCase {
    const char* name;
    std::vector<Bytes> pieces; // SST payload after the two counts, then each CONTINUE payload
    std::vector<std::string> expected;
};

class SharedStringSplits : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SharedStringSplits, CellsShowTheWholeStrings) {
    const SplitCase& split = GetParam();
    bytes::WorkbookPlan plan;
    plan.sst = bytes::sstRecord(static_cast<std::uint32_t>(split.expected.size()), split.pieces[0]);
    for (std::size_t i = 1; i < split.pieces.size(); ++i)
        plan.sst = plan.sst + bytes::record(0x003C, split.pieces[i]);
    Bytes cells;
    for (std::uint16_t i = 0; i < split.expected.size(); ++i)
        cells = cells + bytes::labelSstCell(i, 0, i);
    plan.sheets.push_back({"Strings", cells});

    const Workbook workbook = Workbook::fromBytes(bytes::workbookFile(plan), "strings.xls");
    const Sheet& sheet = workbook.sheet("Strings");
    ASSERT_EQ(sheet.rowCount(), static_cast<int>(split.expected.size()));
    for (int i = 0; i < sheet.rowCount(); ++i) {
        EXPECT_EQ(sheet.cell(i, 0).kind, CellKind::Text);
        EXPECT_EQ(sheet.cell(i, 0).text, split.expected[static_cast<std::size_t>(i)]) << "string " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Continue, SharedStringSplits,
    ::testing::Values(SplitCase{"OneByteCharactersGoOnAsUtf16",
                                {header(6, 0) + ascii("abc"),
                                 Bytes{1} + u16(u"d\u00e9\u20ac") + header(4, 0) + ascii("next")},
                                {"abcd\u00e9\u20ac", "next"}},
                      SplitCase{"Utf16CharactersGoOnAsOneByte",
                                {header(4, 1) + u16(u"\u00e9b"), Bytes{0} + ascii("cd")},
                                {"\u00e9bcd"}},
                      SplitCase{"HeaderEndsARecord",
                                {header(3, 0) + ascii("one") + header(3, 0), Bytes{1} + u16(u"two")},
                                {"one", "two"}},
                      SplitCase{"NextStringStartsAContinueWithoutOptionByte",
                                {header(0, 0) + header(3, 0) + ascii("abc"), header(3, 1) + u16(u"xyz")},
                                {"", "abc", "xyz"}},
                      SplitCase{"RichTextRunsSplit",
                                {header(5, 0x08) + Bytes{2, 0} + ascii("Hello") + Bytes{0, 0, 1, 0},
                                 Bytes{3, 0, 2, 0} + header(5, 0) + ascii("World")},
                                {"Hello", "World"}},
                      SplitCase{
                          "PhoneticDataSplit",
                          {header(2, 0x05) + Bytes{10, 0, 0, 0} + u16(u"\u6f22\u5b57") + Bytes{1, 0, 10, 0},
                           Bytes{0, 0, 0, 0, 0, 0} + header(5, 0) + ascii("after")},
                          {"\u6f22\u5b57", "after"}},
                      SplitCase{"RichAndPhoneticWithCharactersSplit",
                                {header(6, 0x0C) + Bytes{1, 0} + Bytes{4, 0, 0, 0} + ascii("sp"),
                                 Bytes{0} + ascii("lit") + ascii("!") + Bytes{0, 0, 1, 0} +
                                     Bytes{9, 9, 9, 9} + header(1, 0) + ascii("z")},
                                {"split!", "z"}},
                      SplitCase{"SurrogatePairSplit",
                                {header(3, 1) + u16(u"a\xD83D"), Bytes{1} + u16(u"\xDE00") + header(0, 0)},
                                {"a\U0001F600", ""}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(SharedStrings, RefusesAStringCutShortAsDamaged) {
    bytes::WorkbookPlan plan;
    plan.sst = bytes::sstRecord(1, header(10, 0) + ascii("abc"));
    plan.sheets.push_back({"Strings", bytes::labelSstCell(0, 0, 0)});
    EXPECT_THROW(Workbook::fromBytes(bytes::workbookFile(plan), "cut.xls"), WorkbookError);
}

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
