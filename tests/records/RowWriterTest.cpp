// The row writer: rows committed in the order they were handed over, never dropped, batched while a
// commit is under way; a failure told once; everything settled or handed back at the end.
#include "records/RowWriter.h"
#include "platform/VirtualScheduler.h"
#include "records/ThreadCommitRunner.h"
#include "support/VirtualCommitRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrum::testing {
namespace {

workbook::AppendRow row(int trial) {
    return {{"Trial", workbook::AppendValue::fromNumber(trial)}};
}

int trialOf(const workbook::AppendRow& r) {
    return static_cast<int>(r.front().value.number);
}

// Keeps what it is given; fails while `failWith` is set.
class FakeSink : public records::RowSink {
public:
    void append(const std::vector<workbook::AppendRow>& rows) override {
        ++commits;
        if (!failWith.empty())
            throw std::runtime_error(failWith);
        for (const workbook::AppendRow& r : rows)
            kept.push_back(trialOf(r));
        batches.push_back(rows.size());
    }
    std::string location() const override { return "fake"; }
    std::string failWith;
    std::vector<int> kept;
    std::vector<std::size_t> batches;
    int commits = 0;
};

struct Fixture {
    platform::VirtualScheduler scheduler;
    VirtualCommitRunner runner{scheduler, 300};
    records::RowWriter writer{runner};
    std::shared_ptr<FakeSink> sink = std::make_shared<FakeSink>();
    std::vector<std::string> failures;
    std::size_t committed = 0;
    Fixture() {
        writer.open(sink);
        writer.setListener({[this](std::size_t n) { committed += n; },
                            [this](const std::string& why) { failures.push_back(why); }});
    }
};

TEST(RowWriter, HandsOverAtOnceAndCommitsInOrderSharingCommitsWhileOneIsUnderWay) {
    Fixture f;
    for (int trial = 1; trial <= 5; ++trial) {
        f.writer.submit(row(trial));
        f.scheduler.advanceBy(100); // a row every 100 ms, commits take 300 ms
    }
    EXPECT_EQ(f.writer.waiting(), 5u - f.sink->kept.size()) << "nothing waits for the disk on submit";
    f.scheduler.advanceBy(1000);
    EXPECT_EQ(f.sink->kept, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(f.sink->batches, (std::vector<std::size_t>{1, 2, 2}))
        << "rows 2-3 and 4-5 each shared a commit";
    EXPECT_EQ(f.committed, 5u);
    EXPECT_EQ(f.writer.waiting(), 0u);
}

TEST(RowWriter, AFailureIsToldOnceAndTheRowsWaitInOrderUntilACommitSucceeds) {
    Fixture f;
    f.sink->failWith = "disk full";
    f.writer.submit(row(1));
    f.scheduler.advanceBy(400);
    f.writer.submit(row(2));
    f.scheduler.advanceBy(400);
    f.writer.submit(row(3));
    f.scheduler.advanceBy(400);
    EXPECT_EQ(f.failures, (std::vector<std::string>{"disk full"}))
        << "each row retried, the failure told once";
    EXPECT_EQ(f.sink->commits, 3);
    EXPECT_EQ(f.writer.waiting(), 3u);
    EXPECT_EQ(f.writer.failure(), "disk full");

    f.sink->failWith.clear();
    f.writer.retry();
    f.scheduler.advanceBy(400);
    EXPECT_EQ(f.sink->kept, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(f.writer.failure(), "");
    f.sink->failWith = "share gone";
    f.writer.submit(row(4));
    f.scheduler.advanceBy(400);
    EXPECT_EQ(f.failures.size(), 2u) << "a new failure after a success is told again";
}

TEST(RowWriter, SettlesAtTheEndOrHandsTheRowsBack) {
    Fixture f;
    f.writer.submit(row(1));
    f.writer.submit(row(2));
    EXPECT_TRUE(f.writer.settle()) << "settling waits for the commit under way and writes the rest";
    EXPECT_EQ(f.sink->kept, (std::vector<int>{1, 2}));
    f.scheduler.advanceBy(1000); // the late completion of the commit settle took in is harmless
    EXPECT_EQ(f.committed, 2u);

    f.sink->failWith = "read-only";
    f.writer.submit(row(3));
    f.writer.submit(row(4));
    EXPECT_FALSE(f.writer.settle());
    const std::vector<workbook::AppendRow> back = f.writer.takeWaiting();
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(trialOf(back[0]), 3);
    EXPECT_EQ(trialOf(back[1]), 4);
    EXPECT_EQ(f.writer.waiting(), 0u);
}

// A journal that keeps rows at once and brings the file up to date when flushed.
class JournalSink : public FakeSink {
public:
    void append(const std::vector<workbook::AppendRow>& rows) override {
        FakeSink::append(rows);
        pending += rows.size();
    }
    void flush(bool) override {
        ++flushes;
        pending = 0;
    }
    std::size_t behind() const override { return pending; }
    std::size_t pending = 0;
    int flushes = 0;
};

// The file is brought up to date once the interval has passed, and a flush that comes due while a slow
// commit is under way waits for it quietly rather than waking the chamber's thread over and over.
TEST(RowWriter, AFlushDueDuringASlowCommitWaitsForItWithoutSpinning) {
    platform::VirtualScheduler scheduler;
    VirtualCommitRunner runner{scheduler, 3000};
    records::RowWriter writer{runner};
    auto sink = std::make_shared<JournalSink>();
    writer.setFlushInterval(scheduler, 1000);
    writer.open(sink);
    writer.submit(row(1));
    int tasks = 0;
    while (tasks < 1000 && scheduler.nextDue() >= 0 && scheduler.nextDue() <= 20'000) {
        scheduler.runNext();
        ++tasks;
    }
    EXPECT_LT(tasks, 10) << "tasks run in 20 s of a 3 s commit and a 1 s flush interval";
    EXPECT_EQ(sink->kept, (std::vector<int>{1}));
    EXPECT_EQ(sink->flushes, 1);
    EXPECT_EQ(writer.behind(), 0u);
}

// The program's runner: commits on their own thread, completions through the owner's queue.
TEST(RowWriter, OnARealThreadEveryRowArrivesOnceInOrder) {
    std::vector<std::function<void()>> posted;
    std::mutex mutex;
    records::ThreadCommitRunner runner([&](std::function<void()> done) {
        std::lock_guard lock(mutex);
        posted.push_back(std::move(done));
    });
    records::RowWriter writer(runner);
    auto sink = std::make_shared<FakeSink>();
    writer.open(sink);
    for (int trial = 1; trial <= 200; ++trial) {
        writer.submit(row(trial));
        std::vector<std::function<void()>> ready;
        {
            std::lock_guard lock(mutex);
            ready.swap(posted);
        }
        for (auto& done : ready)
            done();
    }
    EXPECT_TRUE(writer.settle());
    ASSERT_EQ(sink->kept.size(), 200u);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(sink->kept[static_cast<std::size_t>(i)], i + 1);
}

// The chamber's thread starts the next commit as soon as a completion reaches it; by then the commit
// thread must already be free, or a thread of real-time priority would wait on one of normal priority.
TEST(RowWriter, TheCommitThreadIsFreeBeforeItsCompletionIsHandedBack) {
    std::promise<bool> freeWhenPosted;
    records::ThreadCommitRunner* runnerSeen = nullptr;
    records::ThreadCommitRunner runner([&](std::function<void()>) {
        auto waited = std::async(std::launch::async, [&] { runnerSeen->wait(); });
        freeWhenPosted.set_value(waited.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
    });
    runnerSeen = &runner;
    runner.start([] {}, [] {});
    EXPECT_TRUE(freeWhenPosted.get_future().get());
    runner.wait();
}

} // namespace
} // namespace veltrum::testing
