#include "workbook/Workbook.h"

#include "WorkbookBytes.h"

#include <gtest/gtest.h>

namespace veltrum::workbook {
namespace {

using namespace testing;

Bytes u16(std::u16string_view text) {
    Bytes out;
    for (char16_t c : text)
        putU16(out, c);
    return out;
}

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes header(std::uint16_t count, std::uint8_t flags) {
    Bytes out;
    putU16(out, count);
    putU8(out, flags);
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
    WorkbookPlan plan;
    plan.sst = sstRecord(static_cast<std::uint32_t>(split.expected.size()), split.pieces[0]);
    for (std::size_t i = 1; i < split.pieces.size(); ++i)
        plan.sst = plan.sst + record(0x003C, split.pieces[i]);
    Bytes cells;
    for (std::uint16_t i = 0; i < split.expected.size(); ++i)
        cells = cells + labelSstCell(i, 0, i);
    plan.sheets.push_back({"Strings", cells});

    const Workbook workbook = Workbook::fromBytes(workbookFile(plan), "strings.xls");
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
    WorkbookPlan plan;
    plan.sst = sstRecord(1, header(10, 0) + ascii("abc"));
    plan.sheets.push_back({"Strings", labelSstCell(0, 0, 0)});
    EXPECT_THROW(Workbook::fromBytes(workbookFile(plan), "cut.xls"), WorkbookError);
}

} // namespace
} // namespace veltrum::workbook
