// Peak memory and time of `veltrum-xls sheets` and `veltrum-xls cat` on a 65,000-session summary
// workbook (their output discarded), against the memory target.
// Usage: bench_xls_memory [RUNS] [--xls PROGRAM] [--summary WORKBOOK]
#include "ChildRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double targetMegabytes = 100.0;

void measure(const std::string& what, const std::vector<std::string>& argv, int runs) {
    std::vector<double> ms;
    std::vector<double> megabytes;
    for (int run = 0; run < runs; ++run) {
        const bench::ChildRun child = bench::runChild(argv, true);
        if (child.exitCode != 0)
            throw std::runtime_error(what + " failed with exit code " + std::to_string(child.exitCode));
        ms.push_back(child.milliseconds);
        megabytes.push_back(child.peakMegabytes);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(megabytes.begin(), megabytes.end());
    std::printf("  %-6s time median %.1f ms; peak memory max %.1f MB (target: at most %.0f MB): %s\n",
                what.c_str(), bench::percentile(ms, 0.5), megabytes.back(), targetMegabytes,
                megabytes.back() <= targetMegabytes ? "within target" : "OVER TARGET");
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string program = VELTRUM_XLS;
    std::string summary = VELTRUM_BENCH_SUMMARY;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--xls" && i + 1 < argc)
            program = argv[++i];
        else if (arg == "--summary" && i + 1 < argc)
            summary = argv[++i];
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    try {
        std::printf("bench_xls_memory: %s on %s (%.1f MB), %d runs each\n", program.c_str(), summary.c_str(),
                    static_cast<double>(std::filesystem::file_size(summary)) / 1e6, runs);
        bench::runChild({program, "sheets", summary}, true); // warms the file cache
        measure("sheets", {program, "sheets", summary}, runs);
        measure("cat", {program, "cat", summary, "All"}, runs);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_xls_memory: %s\n", failure.what());
        return 1;
    }
    return 0;
}
