#include "engine/SubjectName.h"

#include <gtest/gtest.h>

namespace veltrum::engine {
namespace {

class RefusedSubjectNameTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusedSubjectNameTest, IsRefusedWithAReason) {
    const std::optional<std::string> problem = subjectNameProblem(GetParam());
    ASSERT_TRUE(problem.has_value());
    EXPECT_FALSE(problem->empty());
}

INSTANTIATE_TEST_SUITE_P(Unsafe, RefusedSubjectNameTest,
                         ::testing::Values("", "..", ".", "...", "../B1", "a/b", "a\\b", "B1\t", "B\t1",
                                           std::string("B\0"
                                                       "1",
                                                       3),
                                           "B1\n", "C:", "B*", "B?", "a<b", "a|b", "B1.", "B1 ", " B1", "-x",
                                           "--help", ".x", ".B1.4.xls", std::string(101, 'x')));

TEST(SubjectNameTest, OrdinaryNamesAreAccepted) {
    for (const std::string& name : std::initializer_list<std::string>{
             "B1", "12", "Pigeon 7", "b-1_x", "Benchcheck", "Ä1", "1.5", "x-", std::string(100, 'x')})
        EXPECT_EQ(subjectNameProblem(name), std::nullopt) << name;
}

TEST(SubjectNameTest, TheRefusalShowsTheNameEscaped) {
    const std::optional<std::string> refusal = subjectNameRefusal("B\t1");
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("\"B\\x091\""), std::string::npos) << *refusal;
    EXPECT_EQ(refusal->find('\t'), std::string::npos);
    EXPECT_EQ(subjectNameRefusal("P101"), std::nullopt);
}

} // namespace
} // namespace veltrum::engine
