// From a trial row's event to the row being durable, through the row writer and its commit thread, on a
// session workbook on the local disk that already holds 2,000 rows (and, with --rows N, any other size).
// Rows are handed over one at a time, each once the one before was reported committed.
//   bench_row_writer [--rows N] [--samples N] [FOLDER]
#include "records/RowWriter.h"
#include "records/ThreadCommitRunner.h"
#include "workbook/Appender.h"
#include "workbook/commit/DurableFile.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace veltrum;
using Clock = std::chrono::steady_clock;

workbook::AppendRow trialRow(int n) {
    using workbook::AppendValue;
    return {{"Subject", AppendValue::fromText("P101")},
            {"Date", AppendValue::fromDate(2026, 12, 9)},
            {"Session", AppendValue::fromNumber(12)},
            {"Phase", AppendValue::fromNumber(2)},
            {"TrialType", AppendValue::fromNumber(1)},
            {"Trial", AppendValue::fromNumber(1 + n / 4)},
            {"Ordinal", AppendValue::fromNumber(1 + n % 4)},
            {"SessionTime", AppendValue::fromText(std::to_string(n / 4) + ".25")},
            {"TrialTime", AppendValue::fromText("0.25")},
            {"Goal", AppendValue::fromNumber(2)},
            {"Response", AppendValue::fromNumber(1 + n % 6)},
            {"Outcome", AppendValue::fromText(n % 4 ? "S-" : "Reward")},
            {"CorrectionTrial", AppendValue::fromNumber(0)}};
}

// The chamber's thread in miniature: a queue of completions the commit thread posts to.
class Mailbox {
public:
    void post(std::function<void()> f) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(f));
        }
        m_ready.notify_one();
    }
    void runOne() {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_queue.empty(); });
        std::function<void()> f = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        f();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_queue;
};

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    int rows = 2000;
    int samples = 500;
    std::filesystem::path folder = std::filesystem::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc)
            rows = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--samples") == 0 && i + 1 < argc)
            samples = std::atoi(argv[++i]);
        else if (argv[i][0] != '-')
            folder = argv[i];
        else {
            std::fprintf(stderr, "usage: bench_row_writer [--rows N] [--samples N] [FOLDER]\n");
            return 2;
        }
    }
    const std::string path = (folder / "bench-row-writer.xls").string();
    std::vector<std::uint8_t> bytes = workbook::readWholeFile(VELTRUM_SESSION_TEMPLATE);
    for (int done = 0; done < rows;) {
        std::vector<workbook::AppendRow> batch;
        for (int k = 0; k < 2000 && done < rows; ++k, ++done)
            batch.push_back(trialRow(done));
        bytes = workbook::appendRecordsToBytes(bytes, "bench", "Data", batch);
    }
    workbook::replaceFileDurably(path, bytes);

    Mailbox chamber;
    records::ThreadCommitRunner runner([&chamber](std::function<void()> f) { chamber.post(std::move(f)); });
    records::RowWriter writer(runner);
    writer.open(std::make_shared<records::WorkbookRowSink>(path));
    bool committed = false;
    writer.setListener({[&](std::size_t) { committed = true; },
                        [](const std::string& why) {
                            std::fprintf(stderr, "bench_row_writer: %s\n", why.c_str());
                            std::exit(1);
                        }});
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        committed = false;
        const auto handedOver = Clock::now();
        writer.submit(trialRow(rows + i));
        while (!committed)
            chamber.runOne();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - handedOver).count());
    }
    const double p99 = percentile(ms, 0.99);
    std::printf(
        "event to durable row, workbook of %d rows, %d rows: median %.2f ms, p99 %.2f ms, max %.2f ms "
        "(target p99 <= 5 ms at 2,000 rows): %s\n",
        rows, samples, percentile(ms, 0.5), p99, percentile(ms, 1.0), p99 <= 5.0 ? "met" : "NOT met");
    std::filesystem::remove(path);
    return p99 <= 5.0 ? 0 : 1;
}
