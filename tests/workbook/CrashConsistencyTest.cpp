// A process appending in a loop is killed at random moments: after every kill the workbook opens, is
// structurally sound and holds exactly a prefix of the rows, including every row reported committed.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"

#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrum::workbook::test {
namespace {

std::vector<std::string> subjects(const std::filesystem::path& path, int firstRow) {
    const Workbook sheetBook = Workbook::open(path.string());
    const Sheet& sheet = sheetBook.sheet("All");
    std::vector<std::string> result;
    for (int row = firstRow; row < sheet.rowCount(); ++row)
        result.push_back(sheet.cell(row, 0).text);
    return result;
}

// Appends rows "row N", N counting on from what the file holds, reporting each commit on `fd`.
[[noreturn]] void appendForever(const std::filesystem::path& path, int firstRow, int fd) {
    try {
        int next = static_cast<int>(subjects(path, firstRow).size());
        for (;;) {
            appendRecords(path.string(), "All",
                          {{{"Subject", AppendValue::fromText("row " + std::to_string(next))},
                            {"Date", AppendValue::fromDate(2026, 12, 8)},
                            {"Box", AppendValue::fromNumber(next)}}});
            ++next;
            if (::write(fd, "x", 1) != 1)
                ::_exit(1);
        }
    } catch (...) {
        ::_exit(2);
    }
}

TEST(CrashConsistency, EveryKillLeavesAReadableWorkbookHoldingAPrefixOfTheRows) {
    TemporaryFolder folder;
    const auto path = folder / "summary.xls";
    std::filesystem::copy_file(fixtureFile("summary.xls"), path);
    const int firstRow = Workbook::open(path.string()).sheet("All").rowCount();
    std::mt19937 random(20261208);
    int committed = 0;
    for (int kill = 0; kill < 25; ++kill) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            appendForever(path, firstRow, fds[1]);
        }
        ::close(fds[1]);
        // Let it commit a few rows, then kill it somewhere inside a later append.
        const int wanted = 1 + static_cast<int>(random() % 3);
        char byte;
        for (int i = 0; i < wanted && ::read(fds[0], &byte, 1) == 1; ++i)
            ++committed;
        volatile unsigned sink = 0;
        for (unsigned spin = random() % 400000; spin > 0; --spin)
            sink = sink + spin;
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (::read(fds[0], &byte, 1) == 1)
            ++committed;
        ::close(fds[0]);

        const auto bytes = readBytes(path);
        ASSERT_EQ(checkWorkbookStructure(bytes), std::vector<std::string>{}) << "after kill " << kill;
        const auto rows = subjects(path, firstRow);
        ASSERT_GE(static_cast<int>(rows.size()), committed) << "a reported commit was lost";
        for (std::size_t i = 0; i < rows.size(); ++i)
            ASSERT_EQ(rows[i], "row " + std::to_string(i)) << "after kill " << kill;
        committed = static_cast<int>(rows.size());
    }
    // The next append clears what the killed processes left half-written.
    appendRecords(path.string(), "All", {{{"Subject", AppendValue::fromText("after")}}});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

} // namespace
} // namespace veltrum::workbook::test
