// Several controllers saving into one summary workbook at the same moment: every row arrives once.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrum::workbook::test {
namespace {

TEST(Concurrency, EveryRowOfEveryProcessArrivesExactlyOnce) {
    constexpr int Processes = 4;
    constexpr int RowsEach = 15;
    TemporaryFolder folder;
    const auto path = folder / "summary.xls";
    std::filesystem::copy_file(fixtureFile("summary.xls"), path);
    const int firstRow = Workbook::open(path.string()).sheet("All").rowCount();

    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < Processes; ++p) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(start[1]);
            char byte;
            if (::read(start[0], &byte, 1) != 0) // released together when the parent closes the pipe
                ::_exit(3);
            try {
                for (int i = 0; i < RowsEach; ++i)
                    appendRecords(path.string(), "All",
                                  {{{"Subject", AppendValue::fromText("chamber " + std::to_string(p) +
                                                                      " row " + std::to_string(i))},
                                    {"Box", AppendValue::fromNumber(p)}}});
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    EXPECT_EQ(checkWorkbookStructure(readBytes(path)), std::vector<std::string>{});
    const Workbook sheetBook = Workbook::open(path.string());
    const Sheet& sheet = sheetBook.sheet("All");
    std::map<std::string, int> seen;
    for (int row = firstRow; row < sheet.rowCount(); ++row)
        ++seen[sheet.cell(row, 0).text];
    EXPECT_EQ(sheet.rowCount() - firstRow, Processes * RowsEach);
    for (int p = 0; p < Processes; ++p) {
        for (int i = 0; i < RowsEach; ++i)
            EXPECT_EQ(seen["chamber " + std::to_string(p) + " row " + std::to_string(i)], 1);
    }
}

} // namespace
} // namespace veltrum::workbook::test
