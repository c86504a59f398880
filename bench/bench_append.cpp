// Append-and-commit latency of one row (folder lock, re-read, rebuild, fsync, rename, folder fsync) on
// workbooks of 100 to 60,000 rows. Prints median and p99 per size, the targets, and how cost grows.
#include "workbook/Appender.h"
#include "workbook/commit/DurableFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace veltrum::workbook;

AppendRow sessionRow(int n) {
    return {{"Subject", AppendValue::fromText("B" + std::to_string(n % 12))},
            {"Date", AppendValue::fromDate(2026, 1 + n % 12, 1 + n % 28)},
            {"Time", AppendValue::fromTime(n % 24, n % 60, 0)},
            {"Box", AppendValue::fromNumber(n % 8)},
            {"Session", AppendValue::fromNumber(n)},
            {"Phase", AppendValue::fromNumber(1 + n % 4)},
            {"Trials", AppendValue::fromNumber(20 + n % 40)},
            {"ProgramVersion", AppendValue::fromText("Version 6.1")},
            {"HopPC", AppendValue::fromText("0.95")},
            {"TrialPC", AppendValue::fromNumber((n % 100) / 100.0)},
            {"Timeouts", AppendValue::fromText(std::to_string(n % 5))},
            {"ShapingKeys", AppendValue::fromText(n % 2 ? "Yes" : "No")},
            {"Comments", AppendValue::fromText("session " + std::to_string(n))}};
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : VELTRUM_BENCH_FOLDER;
    std::filesystem::create_directories(folder);
    const auto path = (folder / "bench-append.xls").string();
    const std::vector<std::uint8_t> base = readWholeFile(VELTRUM_BENCH_TEMPLATE);
    struct Size {
        int rows;
        int samples;
        double targetMs; // p99 target, 0 = none
    };
    const Size sizes[] = {{100, 300, 0}, {2000, 300, 5}, {20000, 100, 30}, {60000, 40, 0}};
    std::printf("%8s %10s %10s %10s %8s\n", "rows", "median ms", "p99 ms", "target", "bytes");
    double previousMedian = 0;
    int previousRows = 0;
    for (const Size& size : sizes) {
        // Build the workbook in memory in large batches, then time single-row commits on disk.
        std::vector<std::uint8_t> bytes = base;
        for (int done = 0; done < size.rows;) {
            std::vector<AppendRow> batch;
            for (int k = 0; k < 2000 && done < size.rows; ++k, ++done)
                batch.push_back(sessionRow(done));
            bytes = appendRecordsToBytes(bytes, "bench", "All", batch);
        }
        replaceFileDurably(path, bytes);
        std::vector<double> ms;
        for (int i = 0; i < size.samples; ++i) {
            const auto start = std::chrono::steady_clock::now();
            appendRecords(path, "All", {sessionRow(size.rows + i)});
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        const double median = percentile(ms, 0.5);
        const double p99 = percentile(ms, 0.99);
        char target[32] = "-";
        if (size.targetMs > 0)
            std::snprintf(target, sizeof target, "<= %.0f %s", size.targetMs,
                          p99 <= size.targetMs ? "ok" : "MISSED");
        std::printf("%8d %10.2f %10.2f %10s %8zu\n", size.rows, median, p99, target,
                    static_cast<std::size_t>(std::filesystem::file_size(path)));
        if (previousRows > 0)
            std::printf("         x%.1f rows -> x%.1f median time\n", double(size.rows) / previousRows,
                        median / previousMedian);
        previousMedian = median;
        previousRows = size.rows;
    }
    std::filesystem::remove(path);
    return 0;
}
