#include "session/TextFields.h"
#include "session/SetupError.h"

#include <gtest/gtest.h>

namespace veltrum::session {
namespace {

struct FieldsCase {
    const char* name;
    std::string content;
    std::vector<std::string> fields;
};

// Test names in ctest show the case name rather than the bytes of the case.
void PrintTo(const FieldsCase& value, std::ostream* out) {
    *out << value.name;
}

class TextFieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(TextFieldsTest, SplitsIntoFields) {
    std::vector<std::string> texts;
    for (const TextField& field : readTextFields(GetParam().content, "List.txt"))
        texts.push_back(field.text);
    EXPECT_EQ(texts, GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TextFieldsTest,
    ::testing::Values(
        FieldsCase{"OneField", "12345", {"12345"}},
        FieldsCase{"LineEnds", "B1\r\nB2\nB3\rB4\r\n", {"B1", "B2", "B3", "B4"}},
        FieldsCase{"CommaInLine", "A, B", {"A", "B"}}, FieldsCase{"QuotedComma", "\"A, B\",C", {"A, B", "C"}},
        FieldsCase{"QuotedKeepsSpaces", "\" A \"", {" A "}},
        FieldsCase{"DoubledQuote", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
        FieldsCase{"EmptyLinesSkipped", "\r\n\r\nB1\r\n\r\n  \r\nB2", {"B1", "B2"}},
        FieldsCase{"EmptyUnquotedFieldsSkipped", "A,,B,", {"A", "B"}},
        FieldsCase{"QuotedEmptyKept", "\"\"", {""}}, FieldsCase{"SpacesTrimmed", " \t12345 \t", {"12345"}},
        FieldsCase{"ByteOrderMark",
                   "\xEF\xBB\xBF"
                   "B1",
                   {"B1"}},
        FieldsCase{"CommentLinesSkipped", "# port, \"quoted\"\r\n \t# more\r\nA,#B\r\n#", {"A", "#B"}},
        FieldsCase{"LeadingZerosKept", "007", {"007"}}, FieldsCase{"EmptyFile", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFieldsErrorTest, FieldsKnowTheirLine) {
    const std::vector<TextField> fields = readTextFields("A\r\n\r\nB, C\r\n\"D\r\nE\"\r\nF", "List.txt");
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[1].line, 3);
    EXPECT_EQ(fields[2].line, 3);
    EXPECT_EQ(fields[3].line, 4);
    EXPECT_EQ(fields[4].line, 6);
}

TEST(TextFieldsErrorTest, UnclosedQuoteNamesFileAndLine) {
    try {
        readTextFields("B1\n\"B2\nB3", "CurrentSchedule.txt");
        FAIL();
    } catch (const SetupError& error) {
        EXPECT_STREQ(error.what(), "CurrentSchedule.txt, line 2: a double quote is opened and never closed. "
                                   "Correct the file and start the program again.");
    }
}

TEST(TextFieldsErrorTest, TextAfterClosingQuoteIsRefused) {
    EXPECT_THROW(readTextFields("\"B1\"x", "CurrentSchedule.txt"), SetupError);
}

} // namespace
} // namespace veltrum::session
