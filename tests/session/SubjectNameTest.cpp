#include "session/SubjectName.h"

#include <gtest/gtest.h>

namespace veltrum::session {
namespace {

class RefusedSubjectNameTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusedSubjectNameTest, IsRefusedWithAReason) {
    const std::optional<std::string> problem = subjectNameProblem(GetParam());
    ASSERT_TRUE(problem.has_value());
    EXPECT_FALSE(problem->empty());
}

INSTANTIATE_TEST_SUITE_P(Unsafe, RefusedSubjectNameTest,
                         ::testing::Values("", "..", ".", "../B1", "a/b", "a\\b", "B1\t",
                                           std::string("B\0"
                                                       "1",
                                                       3),
                                           "B1\n", "C:", "B*", "B?", "a<b", "a|b", "B1.", "B1 ", " B1",
                                           std::string(101, 'x')));

TEST(SubjectNameTest, OrdinaryNamesAreAccepted) {
    for (const std::string name : {"B1", "12", "Pigeon 7", "b-1_x", "Benchcheck", "Ä1", "1.5"})
        EXPECT_EQ(subjectNameProblem(name), std::nullopt) << name;
}

} // namespace
} // namespace veltrum::session
