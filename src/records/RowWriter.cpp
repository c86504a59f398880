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
    if (m_inFlight > 0)
        m_runner.wait();
}

void RowWriter::open(std::shared_ptr<RowSink> sink) {
    finishInFlight();
    m_sink = std::move(sink);
    m_rows.clear();
    m_committed = 0;
    m_failure.clear();
    m_failureTold = false;
}

void RowWriter::submit(workbook::AppendRow row) {
    m_rows.push_back(std::move(row));
    if (m_inFlight == 0)
        startCommit();
}

void RowWriter::retry() {
    if (m_inFlight == 0 && !m_rows.empty())
        startCommit();
}

void RowWriter::startCommit() {
    if (!m_sink)
        return;
    m_inFlight = m_rows.size();
    const std::uint64_t attempt = ++m_attempt;
    auto outcome = std::make_shared<Attempt>();
    m_outcome = outcome;
    auto batch = std::make_shared<std::vector<workbook::AppendRow>>(m_rows.begin(), m_rows.end());
    std::shared_ptr<RowSink> sink = m_sink;
    std::weak_ptr<RowWriter*> self = m_self;
    m_runner.start(
        [sink, batch, outcome] {
            try {
                sink->append(*batch);
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

void RowWriter::complete(std::uint64_t attempt) {
    // A completion already taken in by settle() or takeWaiting() arrives late and is ignored.
    if (attempt != m_attempt || m_inFlight == 0)
        return;
    const std::shared_ptr<Attempt> outcome = std::exchange(m_outcome, nullptr);
    const std::size_t batch = std::exchange(m_inFlight, 0);
    if (!outcome->error.empty()) {
        const bool tell = !m_failureTold || outcome->error != m_failure;
        m_failure = outcome->error;
        m_failureTold = true;
        if (tell && m_listener.failed)
            m_listener.failed(m_failure);
        return; // the rows wait for the next row, retry() or settle()
    }
    m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(batch));
    m_committed += batch;
    m_failure.clear();
    m_failureTold = false;
    if (m_listener.committed)
        m_listener.committed(batch);
    // Rows that arrived during the commit go in the next one.
    if (m_inFlight == 0 && !m_rows.empty())
        startCommit();
}

void RowWriter::finishInFlight() {
    // The runner has run the work once wait() returns; its completion may not have been delivered yet,
    // and one that succeeds may start the next commit.
    while (m_inFlight > 0) {
        m_runner.wait();
        complete(m_attempt);
    }
}

bool RowWriter::settle() {
    finishInFlight();
    if (!m_rows.empty()) {
        startCommit();
        finishInFlight();
    }
    return m_rows.empty();
}

std::vector<workbook::AppendRow> RowWriter::waitingRows() {
    finishInFlight();
    return {m_rows.begin(), m_rows.end()};
}

std::vector<workbook::AppendRow> RowWriter::takeWaiting() {
    finishInFlight();
    std::vector<workbook::AppendRow> rows(std::make_move_iterator(m_rows.begin()),
                                          std::make_move_iterator(m_rows.end()));
    m_rows.clear();
    m_failure.clear();
    m_failureTold = false;
    return rows;
}

} // namespace veltrum::records
