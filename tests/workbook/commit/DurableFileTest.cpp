// The durable replace: new contents and the old permissions after success; after a failure at any
// step the original untouched and no temporary file left behind. The in-place append: after a failure
// at any step, the workbook (rolled back when a rollback journal is left) is the one before.
#include "AppendSupport.h"

#include "workbook/Appender.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/inplace/FilePatch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace veltrum::workbook::test {
namespace {

const std::vector<std::uint8_t> OldBytes = {'o', 'l', 'd'};
const std::vector<std::uint8_t> NewBytes(100000, 'n');

// Each step by name in the test's name.
std::string stepName(const ::testing::TestParamInfo<CommitStep>& info) {
    constexpr const char* names[] = {"Write",        "Fsync",          "Rename",
                                     "FolderFsync",  "RollbackWrite",  "InPlaceWrite",
                                     "InPlaceFsync", "RollbackRemove", "RollbackFolderSync"};
    return names[static_cast<int>(info.param)];
}

std::size_t entryCount(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(DurableFile, ReplacesContentsAndKeepsPermissions) {
    TemporaryFolder folder;
    const auto path = folder / "book.xls";
    writeBytes(path, OldBytes);
    ::chmod(path.c_str(), 0640);
    replaceFileDurably(path.string(), NewBytes);
    EXPECT_EQ(readBytes(path), NewBytes);
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(entryCount(folder.path()), 1u);
}

TEST(DurableFile, NeverWritesThroughASymbolicLinkNorReadsAWorkbookThroughOne) {
    TemporaryFolder folder;
    writeBytes(folder / "real.xls", OldBytes);
    std::filesystem::create_symlink(folder / "real.xls", folder / "link.xls");
    EXPECT_THROW(replaceFileDurably((folder / "link.xls").string(), NewBytes), WorkbookError);
    EXPECT_THROW(readWholeFile((folder / "link.xls").string()), WorkbookError);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.xls"));
    EXPECT_EQ(readBytes(folder / "real.xls"), OldBytes);
    EXPECT_EQ(entryCount(folder.path()), 2u);
}

class DurableFileFault : public ::testing::TestWithParam<CommitStep> {
protected:
    void TearDown() override { setCommitFaultHook({}); }
};

TEST_P(DurableFileFault, FailureBeforeTheRenameLeavesTheOriginalAndNoTemporaryFile) {
    TemporaryFolder folder;
    const auto path = folder / "book.xls";
    writeBytes(path, OldBytes);
    const CommitStep failing = GetParam();
    setCommitFaultHook([failing](CommitStep step) { return step == failing; });
    EXPECT_THROW(replaceFileDurably(path.string(), NewBytes), WorkbookError);
    // A failed folder flush comes after the rename: the new contents are in place but not known durable.
    EXPECT_EQ(readBytes(path), failing == CommitStep::FolderFsync ? NewBytes : OldBytes);
    EXPECT_EQ(entryCount(folder.path()), 1u);
}

INSTANTIATE_TEST_SUITE_P(Steps, DurableFileFault,
                         ::testing::Values(CommitStep::Write, CommitStep::Fsync, CommitStep::Rename,
                                           CommitStep::FolderFsync),
                         stepName);

class InPlaceFault : public DurableFileFault {};

TEST_P(InPlaceFault, AFailedAppendLeavesTheWorkbookAsItWasOnceRolledBack) {
    TemporaryFolder folder;
    const auto path = folder / "P1.1.xls";
    std::filesystem::copy_file(VELTRUM_SESSION_TEMPLATE, path);
    auto rows = [](int first) {
        std::vector<AppendRow> result;
        for (int n = first; n < first + 40; ++n)
            result.push_back(
                {{"Trial", AppendValue::fromNumber(n)}, {"Outcome", AppendValue::fromText("S-")}});
        return result;
    };
    appendRecordsInPlace(path.string(), "Data", rows(0));
    appendRecordsInPlace(path.string(), "Data", rows(40));
    const std::vector<std::uint8_t> before = readBytes(path);
    const CommitStep failing = GetParam();
    setCommitFaultHook([failing](CommitStep step) { return step == failing; });
    EXPECT_THROW(appendRecordsInPlace(path.string(), "Data", rows(80)), WorkbookError);
    setCommitFaultHook({});
    // Only a failure to remove the rollback journal leaves it, over a complete append.
    EXPECT_EQ(std::filesystem::exists(rollbackPathFor(path.string())), failing == CommitStep::RollbackRemove);
    rollBackInterruptedAppend(path.string());
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(entryCount(folder.path()), 1u);
}

// Once its rollback journal is gone an append stands, whether or not the folder syncs its removal:
// reported failed, the same rows would be appended a second time.
TEST(InPlaceAppend, AFolderThatWillNotSyncTheRollbackJournalsRemovalDoesNotFailTheAppend) {
    TemporaryFolder folder;
    const auto path = folder / "P1.1.xls";
    std::filesystem::copy_file(VELTRUM_SESSION_TEMPLATE, path);
    const std::vector<AppendRow> rows(
        40, {{"Trial", AppendValue::fromNumber(1)}, {"Outcome", AppendValue::fromText("S-")}});
    appendRecordsInPlace(path.string(), "Data", rows); // laid out
    appendRecordsInPlace(path.string(), "Data", rows); // in place from here on
    setCommitFaultHook([](CommitStep step) { return step == CommitStep::RollbackFolderSync; });
    EXPECT_NO_THROW(appendRecordsInPlace(path.string(), "Data", rows));
    setCommitFaultHook({});
    EXPECT_FALSE(std::filesystem::exists(rollbackPathFor(path.string())));
    EXPECT_EQ(Table(Workbook::open(path.string()), "Data").recordCount(), 120);
}

INSTANTIATE_TEST_SUITE_P(Steps, InPlaceFault,
                         ::testing::Values(CommitStep::RollbackWrite, CommitStep::InPlaceWrite,
                                           CommitStep::InPlaceFsync, CommitStep::RollbackRemove),
                         stepName);

} // namespace
} // namespace veltrum::workbook::test
