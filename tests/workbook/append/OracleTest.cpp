// Appended workbooks read through independent readers: xlrd for every source, LibreOffice's CSV
// export for a few (one batched conversion, it is slow); a session workbook grown in place reads as one
// grown by rewriting it.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace veltrum::workbook::test {
namespace {

struct Job {
    std::filesystem::path before;
    std::filesystem::path after;
    std::string sheet;
    int added = 0;
};

std::string runScript(const std::vector<Job>& jobs, bool libreoffice) {
    std::string command = "/usr/bin/python3 '" + std::string(VELTRUM_APPEND_SCRIPTS) + "/oracle_compare.py'";
    if (libreoffice)
        command += " --libreoffice";
    for (const Job& job : jobs)
        command += " '" + job.before.string() + "' '" + job.after.string() + "' '" + job.sheet + "' " +
                   std::to_string(job.added);
    command += " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        if (::pclose(pipe) != 0 && output.empty())
            output = "the comparison script failed";
    }
    return output;
}

bool available(const char* command) {
    return std::system((std::string("command -v ") + command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<Job> makeJobs(const TemporaryFolder& folder, const std::vector<std::filesystem::path>& sources,
                          int rows) {
    std::vector<Job> jobs;
    for (const auto& source : sources) {
        const auto bytes = readBytes(source);
        const Workbook workbook = Workbook::fromBytes(bytes, source.string());
        for (const Sheet& sheet : workbook.sheets()) {
            const auto headers = headerNames(sheet);
            if (headers.empty())
                continue;
            const auto after = folder / ("appended-" + std::to_string(jobs.size()) + ".xls");
            writeBytes(after, appendRecordsToBytes(bytes, source.string(), sheet.name(),
                                                   sampleRows(headers, sheet.rowCount(), rows)));
            jobs.push_back({source, after, sheet.name(), rows});
            break;
        }
    }
    return jobs;
}

TEST(Oracle, XlrdReadsOtherSheetsUnchangedAndTheNewRows) {
    if (!std::filesystem::exists("/usr/bin/python3") ||
        std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-xlrd is not installed";
    TemporaryFolder folder;
    const auto jobs =
        makeJobs(folder,
                 {fixtureFile("summary.xls"), fixtureFile("types.xls"), fixtureFile("long_strings.xls"),
                  fixtureFile("parameters.xls"), corpusFile("libxls/types.xls"),
                  corpusFile("libxls/test2.xls"), corpusFile("xlrd/namesdemo.xls"),
                  corpusFile("xlrd/profiles.xls"), corpusFile("libxls/utf8-sheet-names.xls")},
                 40);
    EXPECT_EQ(runScript(jobs, false), "");
}

TEST(Oracle, LibreOfficeReadsOtherSheetsUnchangedAndTheNewRows) {
    if (!available("soffice") || std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") != 0)
        GTEST_SKIP() << "LibreOffice or python3-xlrd is not installed";
    TemporaryFolder folder;
    const auto jobs = makeJobs(
        folder, {fixtureFile("summary.xls"), fixtureFile("types.xls"), corpusFile("libxls/test2.xls")}, 33);
    EXPECT_EQ(runScript(jobs, true), "");
}

// A trial row as a session writes it: texts the string table holds, texts it does not (some beyond
// Latin-1), numbers and a date.
AppendRow sessionRow(int n) {
    const char* outcomes[] = {"Reward", "S-", "Timeout \u2192 next", "R\u00e9ponse \U0001F426"};
    return {{"Subject", AppendValue::fromText("P101")},
            {"Date", AppendValue::fromDate(2026, 12, 9)},
            {"Trial", AppendValue::fromNumber(1 + n / 4)},
            {"SessionTime", AppendValue::fromText(std::to_string(n / 4) + ".25")},
            {"Response", AppendValue::fromNumber(1 + n % 6)},
            {"Outcome", AppendValue::fromText(outcomes[n % 4])}};
}

ino_t inode(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

TEST(Oracle, ASessionWorkbookGrownInPlaceReadsAsOneRewrittenWhole) {
    if (std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-xlrd is not installed";
    TemporaryFolder folder;
    const auto grown = folder / "grown.xls";
    const auto rewritten = folder / "rewritten.xls";
    std::filesystem::copy_file(VELTRUM_SESSION_TEMPLATE, grown);
    std::filesystem::copy_file(VELTRUM_SESSION_TEMPLATE, rewritten);
    // 600 rows in 150 appends: the stream crosses many sectors and the file a second FAT sector.
    constexpr int Batches = 150;
    ino_t laidOut = 0;
    for (int batch = 0; batch < Batches; ++batch) {
        std::vector<AppendRow> rows;
        for (int k = 0; k < 4; ++k)
            rows.push_back(sessionRow(batch * 4 + k));
        // Once rewritten whole in between (as when a user saves it), the workbook is laid out again.
        if (batch == 70)
            appendRecords(grown.string(), "Data", rows);
        else
            appendRecordsInPlace(grown.string(), "Data", rows);
        appendRecords(rewritten.string(), "Data", rows);
        if (batch == 71)
            laidOut = inode(grown);
    }
    EXPECT_EQ(inode(grown), laidOut) << "the appends after the first rewrote the file";
    EXPECT_GT(std::filesystem::file_size(grown), 512u + 128u * 512u);
    EXPECT_EQ(checkWorkbookStructure(readBytes(grown)), std::vector<std::string>{});
    const Workbook a = Workbook::fromBytes(readBytes(grown), "grown");
    const Workbook b = Workbook::fromBytes(readBytes(rewritten), "rewritten");
    EXPECT_EQ(sheetCells(a.sheet("Data")), sheetCells(b.sheet("Data")));
    const std::vector<Job> jobs = {{VELTRUM_SESSION_TEMPLATE, grown, "Data", Batches * 4},
                                   {rewritten, grown, "Data", 0}};
    EXPECT_EQ(runScript(jobs, available("soffice")), "");
}

} // namespace
} // namespace veltrum::workbook::test
