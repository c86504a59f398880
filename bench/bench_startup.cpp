// Times start-up of the real veltrum executable, from spawning the process to the set-up panel first
// painted, on a data folder of 20 subjects and a 65,000-session summary workbook (a lab's ten years);
// prints median and p90 time and the peak memory against the targets.
// Usage: bench_startup [RUNS] [--veltrum PROGRAM] [--summary WORKBOOK]  (another build's program, or
// another summary, for comparisons on the same machine and run)
#include "ChildRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double targetMs = 500.0;
constexpr double targetMegabytes = 150.0;
constexpr int subjects = 20;

// The data folder: the demo's pictures, template and parameter workbook (one copy per subject), the
// summary workbook, and subjects P100..P119, who all have sessions in that workbook.
fs::path makeDataFolder(const fs::path& root, const fs::path& summary) {
    const fs::path demo = VELTRUM_DEMO_DATA_DIR;
    const fs::path data = root / "Veltrum";
    fs::create_directories(data / "Parameters");
    fs::create_directories(data / "Results");
    fs::copy(demo / "Images", data / "Images", fs::copy_options::recursive);
    fs::copy_file(demo / "Results" / "Session_Template.xls", data / "Results" / "Session_Template.xls");
    fs::copy_file(summary, data / "Results" / "Results_Summary.xls");
    std::ofstream schedule(data / "CurrentSchedule.txt");
    for (int i = 0; i < subjects; ++i) {
        const std::string name = "P" + std::to_string(100 + i);
        schedule << name << "\r\n";
        fs::copy_file(demo / "Parameters" / "P101.xls", data / "Parameters" / (name + ".xls"));
    }
    // A port of its own, so a controller already running on this machine does not make start-up fail.
    std::ofstream(data / "PortNumber.txt") << 20000 + getpid() % 20000 << "\r\n";
    return data;
}

struct Start {
    double milliseconds = 0.0;
    double peakMegabytes = 0.0;
};

// One start: milliseconds from spawning to the panel's first paint, as the program reports it.
Start timeOneStart(const std::string& program, const fs::path& data) {
    const bench::ChildRun run = bench::runChild({program, "--data", data.string(), "--exit-when-shown"});
    const std::string marker = "shown-at-steady-ns ";
    const auto at = run.output.find(marker);
    if (run.exitCode != 0 || at == std::string::npos)
        throw std::runtime_error("veltrum did not show its panel; it printed: " + run.output);
    const long long shownNs = std::stoll(run.output.substr(at + marker.size()));
    const long long startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(run.started.time_since_epoch()).count();
    return {static_cast<double>(shownNs - startNs) / 1e6, run.peakMegabytes};
}

} // namespace

int main(int argc, char** argv) {
    int runs = 15;
    std::string program = VELTRUM_EXECUTABLE;
    fs::path summary = VELTRUM_BENCH_SUMMARY;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--veltrum" && i + 1 < argc)
            program = argv[++i];
        else if (arg == "--summary" && i + 1 < argc)
            summary = argv[++i];
        else
            runs = std::max(3, std::atoi(argv[i]));
    }
    // Without a display the panel is painted offscreen, which still runs every step of start-up.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char pattern[] = "/tmp/veltrum-bench-startup-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("bench_startup: mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    int status = 0;
    try {
        const fs::path data = makeDataFolder(root, summary);
        timeOneStart(program, data); // warms the file cache and the shared libraries; not counted
        std::vector<double> ms;
        std::vector<double> megabytes;
        for (int run = 0; run < runs; ++run) {
            const Start start = timeOneStart(program, data);
            ms.push_back(start.milliseconds);
            megabytes.push_back(start.peakMegabytes);
        }
        std::sort(ms.begin(), ms.end());
        std::sort(megabytes.begin(), megabytes.end());
        const double median = bench::percentile(ms, 0.5);
        std::printf("bench_startup: %s\n  %d starts, %d subjects, summary %s (%.1f MB)\n", program.c_str(),
                    runs, subjects, summary.c_str(), static_cast<double>(fs::file_size(summary)) / 1e6);
        std::printf("  median %.1f ms, p90 %.1f ms, max %.1f ms (target: median at most %.0f ms)\n", median,
                    bench::percentile(ms, 0.9), ms.back(), targetMs);
        std::printf("  peak memory: median %.1f MB, max %.1f MB (target: at most %.0f MB)\n",
                    bench::percentile(megabytes, 0.5), megabytes.back(), targetMegabytes);
        std::printf("  %s\n", median <= targetMs && megabytes.back() <= targetMegabytes ? "within targets"
                                                                                        : "OVER TARGET");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_startup: %s\n", failure.what());
        status = 1;
    }
    fs::remove_all(root);
    return status;
}
