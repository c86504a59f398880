// Spreadsheet lock files make an append refuse without touching the workbook; the folder lock keeps a
// second process out until the first lets go.
#include "AppendSupport.h"

#include "workbook/commit/FileLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrum::workbook::test {
namespace {

class SpreadsheetLockFile : public ::testing::TestWithParam<std::string> {};

TEST_P(SpreadsheetLockFile, RefusesAndLeavesTheWorkbookUntouched) {
    TemporaryFolder folder;
    const auto path = folder / "summary.xls";
    std::filesystem::copy_file(fixtureFile("summary.xls"), path);
    writeBytes(folder / GetParam(), {'x'});
    const auto before = readBytes(path);
    try {
        appendRecords(path.string(), "All", {{{"Subject", AppendValue::fromText("P1")}}});
        FAIL() << "append went ahead despite " << GetParam();
    } catch (const WorkbookError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam()), std::string::npos) << error.what();
    }
    EXPECT_EQ(readBytes(path), before);
}

INSTANTIATE_TEST_SUITE_P(Programs, SpreadsheetLockFile,
                         ::testing::Values(".~lock.summary.xls#", "~$summary.xls"));

TEST(SpreadsheetLockFile, AnotherWorkbooksLockFileDoesNotBlock) {
    TemporaryFolder folder;
    writeBytes(folder / ".~lock.other.xls#", {'x'});
    EXPECT_EQ(spreadsheetLockFile((folder / "summary.xls").string()), "");
}

TEST(FolderLock, KeepsAnotherProcessOutUntilReleased) {
    TemporaryFolder folder;
    const std::string workbook = (folder / "summary.xls").string();
    auto otherProcessCanLock = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
            ::_exit(::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    {
        FolderLock lock(workbook);
        EXPECT_FALSE(otherProcessCanLock());
    }
    EXPECT_TRUE(otherProcessCanLock());
}

} // namespace
} // namespace veltrum::workbook::test
