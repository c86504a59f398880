// Appended workbooks read through independent readers: xlrd for every source, LibreOffice's CSV
// export for a few (one batched conversion, it is slow).
#include "AppendSupport.h"

#include <cstdio>
#include <gtest/gtest.h>

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

} // namespace
} // namespace veltrum::workbook::test
