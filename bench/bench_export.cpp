// veltrum-export over a lab's years: 10,000 session workbooks of 100 rows each (written first with the
// program's own workbook writer), exported whole, then again after one more session was saved. Prints the
// time and peak memory of each run beside its target.
// Usage: bench_export [--sessions N] [--rows R] [--sqlite] [--cold] [--keep DIR]
// --cold drops the workbooks from the page cache first, so the whole export reads them from the disk.
#include "ChildRun.h"
#include "export/ResultsFolder.h"
#include "workbook/Appender.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr double targetFullSeconds = 20.0;
constexpr double targetIncrementalSeconds = 1.0;
constexpr double targetMegabytes = 100.0;

void show(const char* what, const bench::ChildRun& run, double targetSeconds) {
    const double seconds = run.milliseconds / 1000.0;
    std::printf("  %-24s %7.2f s (target: at most %.0f s): %-13s peak memory %6.1f MB (target: at most %.0f "
                "MB): %s\n",
                what, seconds, targetSeconds, seconds <= targetSeconds ? "within target" : "OVER TARGET",
                run.peakMegabytes, targetMegabytes,
                run.peakMegabytes <= targetMegabytes ? "within target" : "OVER TARGET");
}

bench::ChildRun exportOnce(const std::string& data, const std::string& out, const std::string& database) {
    std::vector<std::string> argv{VELTRUM_EXPORT, "--data", data, "--out", out};
    if (!database.empty()) {
        argv.push_back("--sqlite");
        argv.push_back(database);
    }
    bench::ChildRun run = bench::runChild(argv);
    if (run.exitCode != 0)
        throw std::runtime_error("veltrum-export ended with exit code " + std::to_string(run.exitCode));
    return run;
}

std::string subjectName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "P%03d", n);
    return name;
}

// Asks the kernel to forget the cached pages of every file in `folder` (written and synced by then).
void dropFromCache(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const int fd = ::open(entry.path().c_str(), O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// Runs `work` in a child process and waits for it.
void inChild(const std::function<void()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        try {
            work();
            _exit(0);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "bench_export: %s\n", failure.what());
            _exit(1);
        }
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("writing the data folder failed");
}

} // namespace

int main(int argc, char** argv) {
    int sessions = 10000;
    int rows = 100;
    bool sqlite = false;
    bool cold = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sessions" && i + 1 < argc)
            sessions = std::atoi(argv[++i]);
        else if (arg == "--rows" && i + 1 < argc)
            rows = std::atoi(argv[++i]);
        else if (arg == "--sqlite")
            sqlite = true;
        else if (arg == "--cold")
            cold = true;
        else if (arg == "--keep" && i + 1 < argc)
            folder = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: bench_export [--sessions N] [--rows R] [--sqlite] [--cold] [--keep DIR]\n");
            return 2;
        }
    }
    const bool keep = !folder.empty();
    if (!keep)
        folder = std::string(VELTRUM_BENCH_FOLDER) + "/export-bench-" + std::to_string(getpid());
    try {
        const std::string data = folder + "/Veltrum";
        const std::string out = folder + "/tables";
        const std::string database = sqlite ? folder + "/sessions.sqlite" : std::string();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);

        // 100 subjects of 100 sessions each, phases in turn, written by a child process: the benchmark's own
        // memory would otherwise count in the peak of the programs it starts.
        const int subjects = std::max(1, sessions / 100);
        const auto writing = std::chrono::steady_clock::now();
        inChild([&] {
            veltrum::testing::ResultsFolder results(data);
            for (int n = 0; n < sessions; ++n)
                results.addSession(subjectName(n % subjects), n / subjects + 1, n / subjects % 4 + 1, rows);
            results.saveSummary();
        });
        std::printf(
            "bench_export: %d session workbooks of %d rows written in %.1f s (%.0f MB)%s%s\n", sessions, rows,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - writing).count(),
            static_cast<double>(sessions) *
                static_cast<double>(std::filesystem::file_size(data + "/Results/P000.1.xls")) / 1e6,
            sqlite ? "; exported with --sqlite" : "", cold ? "; read from the disk, not the cache" : "");
        std::system("sync");
        if (cold)
            dropFromCache(data + "/Results");

        const bench::ChildRun full = exportOnce(data, out, database);
        show("whole export", full, targetFullSeconds);
        std::printf("  trials.csv: %.0f MB\n",
                    static_cast<double>(std::filesystem::file_size(out + "/trials.csv")) / 1e6);

        // One more session of a subject in the middle of the order, and its summary record.
        inChild([&] {
            const std::string subject = subjectName(subjects / 2);
            const int session = sessions / subjects + 1;
            const veltrum::testing::ResultsFolder results(data);
            results.addWorkbook(subject + "." + std::to_string(session) + ".xls",
                                veltrum::testing::trialRows(subject, session, 3, rows));
            veltrum::workbook::appendRecords(results.results() + "/Results_Summary.xls", "All",
                                             {veltrum::testing::summaryRow(subject, session, 3)});
        });
        const bench::ChildRun incremental = exportOnce(data, out, database);
        show("after one new session", incremental, targetIncrementalSeconds);
        const bench::ChildRun nothing = exportOnce(data, out, database);
        show("with nothing new", nothing, targetIncrementalSeconds);
        if (!keep)
            std::filesystem::remove_all(folder);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_export: %s\n", failure.what());
        return 1;
    }
    return 0;
}
