// A session's trial rows made durable in a small journal beside its workbook, one line per row with one
// fsync per commit, and brought into the workbook in batches: the cost of making a row durable does not
// grow with the rows already in the workbook, and the workbook a user opens is a valid workbook at most
// one batch behind.
//
// The journal ".<workbook name>.journal" starts with a line that says how many data rows the workbook
// held when the journal began; every later line is one row. A row the workbook lacks is always in the
// journal: at the next start, recoverJournal() appends to the workbook the rows it lacks (those past the
// count it should hold) and removes the journal. What a crash leaves, at each step:
// - while a row is written to the journal: a torn last line, never reported committed, ignored;
// - after the journal's fsync: the row is committed; it is in the journal, maybe not yet in the workbook;
// - while the workbook is brought up to date: the workbook's own commit is atomic (the old or new file,
//   or, appended in place, a rollback journal that recovery applies before it counts the rows);
// - after that, before the journal is removed at the end: recovery finds nothing missing and removes it.
#pragma once

#include "records/RowSink.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace veltrum::records {

std::string journalPathFor(const std::string& workbookPath);

// One row as a journal line (without its newline), and back; fromJournalLine returns false for a line
// that is not a whole row.
std::string toJournalLine(const workbook::AppendRow& row);
bool fromJournalLine(const std::string& line, workbook::AppendRow& row);

class JournalledRowSink : public RowSink {
public:
    // The workbook must exist; its journal is created with the first rows.
    explicit JournalledRowSink(std::string workbookPath);
    ~JournalledRowSink() override;

    // Durable in the journal on return; the workbook follows at flush().
    void append(const std::vector<workbook::AppendRow>& rows) override;
    // Appends to the workbook the rows it lacks; at the end (`last`) the journal is removed too.
    void flush(bool last) override;
    std::size_t behind() const override { return m_behindCount.load(); }
    std::vector<workbook::AppendRow> behindRows() const override { return m_behind; }
    std::vector<workbook::AppendRow> takeBehind() override;
    std::string location() const override { return m_workbook; }

private:
    void openJournal();

    std::string m_workbook;
    std::string m_journal;
    int m_fd = -1;
    std::vector<workbook::AppendRow> m_behind; // committed to the journal, not yet in the workbook
    std::atomic<std::size_t> m_behindCount{0};
};

// What recovering a journal found: the workbook, how many rows it lacked and now holds, or why it was
// left alone (the journal then stays).
struct JournalRecovery {
    std::string workbook;
    std::size_t rowsAdded = 0;
    std::string problem;
};

// Brings the workbook up to date from its journal, if it has one, and removes the journal; nullopt-like
// empty workbook field when there was no journal.
JournalRecovery recoverJournal(const std::string& workbookPath);
// Every journal in a folder, but those of the workbooks `skip` names (the sessions another program is
// running: their journals are theirs).
std::vector<JournalRecovery> recoverJournals(const std::string& folder,
                                             const std::function<bool(const std::string&)>& skip = {});

} // namespace veltrum::records
