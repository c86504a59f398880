// The session's trial rows on their way to their workbook: handed over on the chamber's thread, which
// goes on at once, and committed in the order they were handed over by a commit runner. Rows that arrive
// while a commit is under way share the next one. A row that cannot be written waits, in order, and is
// tried again with the next row, on retry() and at settle(); nothing is dropped.
//
// A sink that keeps rows in a journal first (JournalledRowSink) is brought up to date, on the same
// runner, with the commit after `flushEveryMs` has passed (0: with every commit), on a scheduler task
// when no row comes, and at settle().
#pragma once

#include "platform/Scheduler.h"
#include "records/CommitRunner.h"
#include "records/RowSink.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::records {

class RowWriter {
public:
    // Told on the chamber's thread: rows just committed, or why a commit failed (rows or bringing the
    // workbook up to date). A failure is told once; again only when its reason changes or after a
    // success.
    struct Listener {
        std::function<void(std::size_t committed)> committed;
        std::function<void(const std::string& why)> failed;
        // After every commit, whatever it did (rows, or the file brought up to date).
        std::function<void()> changed = {};
    };

    explicit RowWriter(CommitRunner& runner);
    // Waits for a commit under way; rows still waiting are the owner's to save first (takeWaiting).
    ~RowWriter();
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    void setListener(Listener listener) { m_listener = std::move(listener); }
    // How often a journalling sink's file is brought up to date, timed on `scheduler`.
    void setFlushInterval(platform::Scheduler& scheduler, std::int64_t everyMs);
    // Where the rows of the session now starting go; rows of an earlier session must not wait any more.
    void open(std::shared_ptr<RowSink> sink);
    const RowSink* sink() const { return m_sink.get(); }

    // Hands a row over; never waits for a commit.
    void submit(workbook::AppendRow row);
    // Starts a commit of what waits when none is under way; never waits.
    void retry();
    // On the caller's thread: waits for a commit under way, then commits what waits and brings the file
    // up to date, ending its journal. True when every row is in the file.
    bool settle();
    // The rows not in the file, in order (those durable in a journal first), after waiting for a commit
    // under way: copied, or taken out of the writer and its sink.
    std::vector<workbook::AppendRow> waitingRows();
    std::vector<workbook::AppendRow> takeWaiting();

    // Rows handed over and not yet committed, including those of a commit under way.
    std::size_t waiting() const { return m_rows.size(); }
    // Rows committed (durable) but not yet in the file itself.
    std::size_t behind() const { return m_sink ? m_sink->behind() : 0; }
    std::size_t committed() const { return m_committed; }
    // Why the last commit failed; empty once one succeeds.
    const std::string& failure() const { return m_failure; }
    bool commitUnderWay() const { return m_busy; }

private:
    struct Attempt {
        bool ran = false;
        bool appended = false; // the rows are durable, even if bringing the file up to date then failed
        std::string error;
    };
    void startCommit(bool flush, bool last = false);
    void complete(std::uint64_t attempt);
    void finishInFlight();
    void armFlush();
    void fail(const std::string& why);

    CommitRunner& m_runner;
    std::shared_ptr<RowSink> m_sink;
    Listener m_listener;
    std::deque<workbook::AppendRow> m_rows;
    bool m_busy = false;        // a commit is under way
    std::size_t m_inFlight = 0; // the first rows of m_rows, being committed
    std::uint64_t m_attempt = 0;
    std::shared_ptr<Attempt> m_outcome;
    std::size_t m_committed = 0;
    std::string m_failure;
    bool m_failureTold = false;
    platform::Scheduler* m_scheduler = nullptr;
    std::int64_t m_flushEveryMs = 0;
    std::int64_t m_lastFlushMs = 0;
    bool m_flushArmed = false;
    platform::Scheduler::TaskId m_flushTask = 0;
    // Completions posted after the writer is gone find this expired.
    std::shared_ptr<RowWriter*> m_self;
};

} // namespace veltrum::records
