// Times the summary look-up's reading: open a 10,000-session summary workbook and read "Subject",
// "Session" and "Phase" of every record through a Table of those columns; prints median, p90 and max against
// the target.
#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

namespace {

using veltrum::workbook::CellKind;
using veltrum::workbook::Table;
using veltrum::workbook::Workbook;

constexpr double targetMedianMs = 20.0;

struct LookupResult {
    int records = 0;
    double sessionSum = 0.0; // keeps the reads observable so none is optimised away
};

LookupResult lookUp(const Workbook& workbook) {
    // The way the summary look-up reads: only its three columns.
    const Table table(workbook, "All", {"Subject", "Session", "Phase"});
    LookupResult result;
    for (int record = 0; record < table.recordCount(); ++record) {
        const auto& subject = table.field(record, "Subject");
        const auto& session = table.field(record, "Session");
        const auto& phase = table.field(record, "Phase");
        if (subject.kind == CellKind::Text && session.kind == CellKind::Number)
            result.sessionSum += session.number + phase.number;
        ++result.records;
    }
    return result;
}

double milliseconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(const std::vector<double>& sorted, double fraction) {
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[index];
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : VELTRUM_BENCH_SUMMARY;
    const int runs = argc > 2 ? std::max(30, std::atoi(argv[2])) : 30;
    try {
        const LookupResult first = lookUp(Workbook::open(path)); // warms the file cache; not counted
        std::vector<double> total;
        std::vector<double> opening;
        std::vector<double> processor;
        for (int run = 0; run < runs; ++run) {
            const std::clock_t cpuStart = std::clock();
            const auto start = std::chrono::steady_clock::now();
            const Workbook workbook = Workbook::open(path);
            const auto opened = std::chrono::steady_clock::now();
            const LookupResult result = lookUp(workbook);
            const auto stop = std::chrono::steady_clock::now();
            const std::clock_t cpuStop = std::clock();
            if (result.records != first.records || result.sessionSum != first.sessionSum) {
                std::fprintf(stderr, "bench_read_summary: run %d read different values\n", run);
                return 1;
            }
            total.push_back(milliseconds(start, stop));
            opening.push_back(milliseconds(start, opened));
            processor.push_back(1000.0 * static_cast<double>(cpuStop - cpuStart) / CLOCKS_PER_SEC);
        }
        std::sort(total.begin(), total.end());
        std::sort(opening.begin(), opening.end());
        std::sort(processor.begin(), processor.end());
        const double median = percentile(total, 0.5);
        std::printf("summary look-up read: %s\n", path.c_str());
        std::printf("records %d, runs %d\n", first.records, runs);
        std::printf("open + read 3 columns: median %.2f ms  p90 %.2f ms  max %.2f ms\n", median,
                    percentile(total, 0.9), total.back());
        std::printf("of which opening:      median %.2f ms\n", percentile(opening, 0.5));
        // On a shared machine the wall time includes waiting for a core; CPU time does not.
        std::printf("CPU time per run:      median %.2f ms\n", percentile(processor, 0.5));
        std::printf("target: median under %.0f ms: %s\n", targetMedianMs,
                    median < targetMedianMs ? "met" : "NOT met");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_read_summary: %s\n", error.what());
        return 1;
    }
    return 0;
}
