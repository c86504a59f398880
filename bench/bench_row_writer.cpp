// From a trial row's event to the row being durable, through the row writer and its commit thread, on the
// local disk. Rows are handed over one at a time, each once the one before was reported committed.
// 1. A session workbook that already holds 2,000 rows (--rows N for another size): each row committed
//    into the workbook itself, and each committed to the journal with the workbook following.
// 2. A whole long session (--session N rows, default 4,000, one row per 250 ms of session time, the
//    workbook brought up to date every 2 s of it): time and bytes written per row early and late, with
//    rows committed into the workbook (as before the journal) and to the journal (the workbook then
//    appended to in place). Time per row is the row's own commit and its share of the workbook's updates.
//   bench_row_writer [--rows N] [--samples N] [--session N] [FOLDER]
#include "platform/Scheduler.h"
#include "records/RowJournal.h"
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
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <sys/resource.h>
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

// Session time that moves only when the benchmark says so; its tasks run on the benchmark's thread.
class SessionClock : public platform::Scheduler {
public:
    std::int64_t nowUs() const override { return m_now; }
    TaskId scheduleAtUs(std::int64_t dueUs, std::function<void()> task) override {
        m_tasks.emplace(std::pair{std::max(dueUs, m_now), ++m_last}, std::move(task));
        return m_last;
    }
    void cancel(TaskId id) override {
        std::erase_if(m_tasks, [id](const auto& entry) { return entry.first.second == id; });
    }
    void advanceMs(std::int64_t ms) {
        m_now += ms * 1000;
        while (!m_tasks.empty() && m_tasks.begin()->first.first <= m_now) {
            std::function<void()> task = std::move(m_tasks.begin()->second);
            m_tasks.erase(m_tasks.begin());
            task();
        }
    }

private:
    std::int64_t m_now = 0;
    TaskId m_last = 0;
    std::map<std::pair<std::int64_t, TaskId>, std::function<void()>> m_tasks;
};

// Bytes this process has handed to write() so far (both threads).
long long bytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "wchar:")
            return value;
    return 0;
}

std::string makeWorkbook(const std::filesystem::path& folder, const char* name, int rows) {
    const std::string path = (folder / name).string();
    std::vector<std::uint8_t> bytes = workbook::readWholeFile(VELTRUM_SESSION_TEMPLATE);
    for (int done = 0; done < rows;) {
        std::vector<workbook::AppendRow> batch;
        for (int k = 0; k < 2000 && done < rows; ++k, ++done)
            batch.push_back(trialRow(done));
        bytes = workbook::appendRecordsToBytes(bytes, "bench", "Data", batch);
    }
    workbook::replaceFileDurably(path, bytes);
    return path;
}

struct Run {
    std::vector<double> ms;         // event to durable, per row
    std::vector<long long> written; // bytes written by the end of each row's commit
    std::vector<double> fileMs; // per row: the commit that brought the workbook up to date after it (or 0)
};

// Hands `rows` rows to a writer on `sink`, one per `paceMs` of session time, each after the one before
// was committed; the workbook is brought up to date every `flushMs` of session time (0: every commit).
Run handOver(std::shared_ptr<records::RowSink> sink, int firstRow, int rows, std::int64_t paceMs,
             std::int64_t flushMs) {
    Mailbox chamber;
    SessionClock clock;
    records::ThreadCommitRunner runner([&chamber](std::function<void()> f) { chamber.post(std::move(f)); });
    records::RowWriter writer(runner);
    writer.setFlushInterval(clock, flushMs);
    writer.open(sink);
    bool committed = false;
    writer.setListener({[&](std::size_t) { committed = true; },
                        [](const std::string& why) {
                            std::fprintf(stderr, "bench_row_writer: %s\n", why.c_str());
                            std::exit(1);
                        }});
    Run run;
    for (int i = 0; i < rows; ++i) {
        committed = false;
        const auto handedOver = Clock::now();
        writer.submit(trialRow(firstRow + i));
        while (!committed)
            chamber.runOne();
        run.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - handedOver).count());
        clock.advanceMs(paceMs);
        // Rows come a quarter of a second apart in a session, long after the disk is free again: the next
        // one is handed over once any commit of the file itself has ended, and that commit is timed apart.
        const auto fileCommit = Clock::now();
        bool fileCommitted = false;
        while (writer.commitUnderWay()) {
            chamber.runOne();
            fileCommitted = true;
        }
        run.fileMs.push_back(
            fileCommitted ? std::chrono::duration<double, std::milli>(Clock::now() - fileCommit).count()
                          : 0.0);
        run.written.push_back(bytesWritten());
    }
    writer.settle();
    return run;
}

struct Stretch {
    double median = 0; // event to durable row
    double perRow = 0; // time spent per row: its own commit and its share of the workbook's updates
    double bytes = 0;  // bytes written per row
};

// Time and bytes written per row over rows [from, to).
Stretch printStretch(const char* label, const Run& run, std::size_t from, std::size_t to) {
    const std::vector<double> part(run.ms.begin() + static_cast<std::ptrdiff_t>(from),
                                   run.ms.begin() + static_cast<std::ptrdiff_t>(to));
    Stretch result;
    result.median = percentile(part, 0.5);
    double total = 0;
    for (std::size_t i = from; i < to; ++i)
        total += run.ms[i] + run.fileMs[i];
    result.perRow = total / double(to - from);
    result.bytes = double(run.written[to - 1] - (from > 0 ? run.written[from - 1] : run.written[0])) /
                   double(to - std::max<std::size_t>(from, 1));
    std::printf("  %-26s rows %5zu-%-5zu: median %6.2f ms, p99 %6.2f ms, %6.2f ms and %9.0f bytes written "
                "per row\n",
                label, from + 1, to, result.median, percentile(part, 0.99), result.perRow, result.bytes);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int rows = 2000;
    int samples = 500;
    int sessionRows = 4000;
    std::filesystem::path folder = std::filesystem::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc)
            rows = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--samples") == 0 && i + 1 < argc)
            samples = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--session") == 0 && i + 1 < argc)
            sessionRows = std::atoi(argv[++i]);
        else if (argv[i][0] != '-')
            folder = argv[i];
        else {
            std::fprintf(stderr, "usage: bench_row_writer [--rows N] [--samples N] [--session N] [FOLDER]\n");
            return 2;
        }
    }
    bool ok = true;
    std::printf("event to durable row, workbook of %d rows, %d rows handed over (target p99 <= 5 ms):\n",
                rows, samples);
    for (const bool journal : {false, true}) {
        const std::string path = makeWorkbook(folder, "bench-row-writer.xls", rows);
        std::shared_ptr<records::RowSink> sink;
        if (journal)
            sink = std::make_shared<records::JournalledRowSink>(path);
        else
            sink = std::make_shared<records::WorkbookRowSink>(path);
        const Run run = handOver(sink, rows, samples, 250, journal ? 2000 : 0);
        const double p99 = percentile(run.ms, 0.99);
        std::printf("  %-34s median %6.2f ms, p99 %6.2f ms, max %6.2f ms: %s\n",
                    journal ? "journal, workbook every 2 s" : "each row into the workbook",
                    percentile(run.ms, 0.5), p99, percentile(run.ms, 1.0), p99 <= 5.0 ? "met" : "NOT met");
        if (journal)
            ok = ok && p99 <= 5.0;
        std::filesystem::remove(path);
    }

    std::printf(
        "\na session of %d rows, one per 250 ms of session time (target: late/early time and bytes per row "
        "<= 2):\n",
        sessionRows);
    const std::size_t stretch = std::min<std::size_t>(500, static_cast<std::size_t>(sessionRows) / 4);
    const std::size_t total = static_cast<std::size_t>(sessionRows);
    for (const bool journal : {false, true}) {
        const std::string path = makeWorkbook(folder, "bench-row-writer-session.xls", 0);
        std::shared_ptr<records::RowSink> sink;
        if (journal)
            sink = std::make_shared<records::JournalledRowSink>(path);
        else
            sink = std::make_shared<records::WorkbookRowSink>(path);
        const Run run = handOver(sink, 0, sessionRows, 250, journal ? 2000 : 0);
        const char* label = journal ? "journal, workbook every 2 s" : "each row into the workbook";
        const Stretch early = printStretch(label, run, 0, stretch);
        const Stretch late = printStretch(label, run, total - stretch, total);
        const double timeRatio = late.perRow / early.perRow;
        const double bytesRatio = late.bytes / early.bytes;
        if (!journal) {
            std::printf("  %-26s late/early per row: time %.2f, bytes %.2f\n", label, timeRatio, bytesRatio);
        } else {
            std::printf("  %-26s late/early time per row %.2f (target <= 2: %s), bytes per row %.2f (target "
                        "<= 2: %s)\n",
                        label, timeRatio, timeRatio <= 2.0 ? "met" : "not met", bytesRatio,
                        bytesRatio <= 2.0 ? "met" : "not met");
            ok = ok && timeRatio <= 2.0 && bytesRatio <= 2.0;
        }
        std::filesystem::remove(path);
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("\npeak memory (resident): %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return ok ? 0 : 1;
}
