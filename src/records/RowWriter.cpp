#include "records/RowWriter.h"

#include "workbook/Workbook.h"

#include <exception>
#include <utility>

namespace veltrum::records {

void WorkbookRowSink::append(const std::vector<workbook::AppendRow>& rows) {
    workbook::appendRecords(m_path, "Data", rows);
}

RowWriter::RowWriter(CommitRunner& runner)
    : m_runner(runner)
    , m_self(std::make_shared<RowWriter*>(this)) {}

RowWriter::~RowWriter() {
    if (m_flushArmed && m_scheduler)
        m_scheduler->cancel(m_flushTask);
    if (m_busy)
        m_runner.wait();
}

void RowWriter::setFlushInterval(platform::Scheduler& scheduler, std::int64_t everyMs) {
    m_scheduler = &scheduler;
    m_flushEveryMs = everyMs;
}

void RowWriter::open(std::shared_ptr<RowSink> sink) {
    finishInFlight();
    m_sink = std::move(sink);
    m_rows.clear();
    m_committed = 0;
    m_failure.clear();
    m_failureTold = false;
    m_lastFlushMs = m_scheduler ? m_scheduler->nowMs() : 0;
}

void RowWriter::submit(workbook::AppendRow row) {
    m_rows.push_back(std::move(row));
    if (!m_busy)
        startCommit(false);
}

void RowWriter::retry() {
    if (!m_busy && (!m_rows.empty() || behind() > 0))
        startCommit(true);
}

void RowWriter::startCommit(bool flush, bool last) {
    if (!m_sink)
        return;
    // Without an interval the file follows every commit. With one, rows are committed on their own and
    // the file is brought up to date by a commit of its own once the interval has passed, so a row does
    // not wait for it.
    if (!m_scheduler || m_flushEveryMs <= 0)
        flush = true;
    if (flush)
        m_lastFlushMs = m_scheduler ? m_scheduler->nowMs() : 0;
    m_busy = true;
    m_inFlight = m_rows.size();
    const std::uint64_t attempt = ++m_attempt;
    auto outcome = std::make_shared<Attempt>();
    m_outcome = outcome;
    auto batch = std::make_shared<std::vector<workbook::AppendRow>>(m_rows.begin(), m_rows.end());
    std::shared_ptr<RowSink> sink = m_sink;
    std::weak_ptr<RowWriter*> self = m_self;
    m_runner.start(
        [sink, batch, outcome, flush, last] {
            try {
                if (!batch->empty())
                    sink->append(*batch);
                outcome->appended = true;
                if (flush)
                    sink->flush(last);
            } catch (const std::exception& error) {
                outcome->error = error.what();
                if (outcome->error.empty())
                    outcome->error = "the rows could not be written";
            } catch (...) {
                outcome->error = "the rows could not be written";
            }
            outcome->ran = true;
        },
        [self, attempt] {
            if (const std::shared_ptr<RowWriter*> writer = self.lock())
                (*writer)->complete(attempt);
        });
}

void RowWriter::fail(const std::string& why) {
    const bool tell = !m_failureTold || why != m_failure;
    m_failure = why;
    m_failureTold = true;
    if (tell && m_listener.failed)
        m_listener.failed(m_failure);
}

void RowWriter::complete(std::uint64_t attempt) {
    // A completion already taken in by settle() or takeWaiting() arrives late and is ignored.
    if (attempt != m_attempt || !m_busy)
        return;
    const std::shared_ptr<Attempt> outcome = std::exchange(m_outcome, nullptr);
    m_busy = false;
    const std::size_t batch = std::exchange(m_inFlight, 0);
    if (outcome->appended && batch > 0) {
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(batch));
        m_committed += batch;
    }
    // The failure state is settled before anyone is told, so a listener told of committed rows sees
    // whether the file is still failing.
    if (outcome->error.empty()) {
        m_failure.clear();
        m_failureTold = false;
    }
    if (outcome->appended && batch > 0 && m_listener.committed)
        m_listener.committed(batch);
    if (!outcome->error.empty()) {
        fail(outcome->error);
        if (m_listener.changed)
            m_listener.changed();
        return; // what waits is tried with the next row, retry() or settle()
    }
    // Rows that arrived during the commit go in the next one; the file is brought up to date when due.
    if (!m_busy && !m_rows.empty())
        startCommit(false);
    else if (!m_busy && m_scheduler && m_flushEveryMs > 0 && behind() > 0 &&
             m_scheduler->nowMs() - m_lastFlushMs >= m_flushEveryMs)
        startCommit(true);
    armFlush();
    if (m_listener.changed)
        m_listener.changed();
}

void RowWriter::armFlush() {
    // Without new rows the file is still brought up to date within the interval.
    if (!m_scheduler || m_flushEveryMs <= 0 || m_flushArmed || behind() == 0)
        return;
    m_flushArmed = true;
    std::weak_ptr<RowWriter*> self = m_self;
    m_flushTask = m_scheduler->scheduleAt(m_lastFlushMs + m_flushEveryMs, [self] {
        if (const std::shared_ptr<RowWriter*> writer = self.lock()) {
            RowWriter& w = **writer;
            w.m_flushArmed = false;
            // While a commit is under way its completion brings the file up to date or re-arms this;
            // re-arming here for a time already past would wake the chamber's thread over and over.
            if (!w.m_busy && w.behind() > 0)
                w.startCommit(true);
        }
    });
}

void RowWriter::finishInFlight() {
    // The runner has run the work once wait() returns; its completion may not have been delivered yet,
    // and one that succeeds may start the next commit.
    while (m_busy) {
        m_runner.wait();
        complete(m_attempt);
    }
}

bool RowWriter::settle() {
    finishInFlight();
    if (m_sink) {
        startCommit(true, true);
        finishInFlight();
    }
    return m_rows.empty() && behind() == 0 && m_failure.empty();
}

std::vector<workbook::AppendRow> RowWriter::waitingRows() {
    finishInFlight();
    std::vector<workbook::AppendRow> rows =
        m_sink ? m_sink->behindRows() : std::vector<workbook::AppendRow>{};
    rows.insert(rows.end(), m_rows.begin(), m_rows.end());
    return rows;
}

std::vector<workbook::AppendRow> RowWriter::takeWaiting() {
    finishInFlight();
    std::vector<workbook::AppendRow> rows =
        m_sink ? m_sink->takeBehind() : std::vector<workbook::AppendRow>{};
    rows.insert(rows.end(), std::make_move_iterator(m_rows.begin()), std::make_move_iterator(m_rows.end()));
    m_rows.clear();
    m_failure.clear();
    m_failureTold = false;
    return rows;
}

} // namespace veltrum::records
