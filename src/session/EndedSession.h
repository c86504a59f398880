// What the summary window takes from a session that has ended: its totals, the trial rows that have not
// reached its workbook yet, and where its records are kept. The main window gives it; the summary window
// knows nothing else of it.
#pragma once

#include "records/SessionRecords.h"
#include "results/SummaryRecord.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace veltrum::session {

class EndedSession {
public:
    // The session's totals as they stand now (a head entry may still be counted while the window is open).
    virtual results::SessionTotals sessionTotals() const = 0;
    // The comment box's first text: "SHAPING KEYS USED. " once a shaping key was used, or nothing.
    virtual std::string shapingNote() const = 0;
    // The session workbook, and the summary workbook and sheet its record goes to.
    virtual std::string sessionWorkbook() const = 0;
    virtual std::string summaryWorkbook() const = 0;
    virtual std::string summarySheet() const = 0;
    // The chamber: the local port the tablet socket listens on.
    virtual std::int32_t box() const = 0;
    virtual records::SessionRecords& records() = 0;

    // Trial rows not yet in the session workbook, and why the last commit failed ("" when none failed
    // since the last success).
    virtual std::size_t pendingRowCount() const = 0;
    virtual const std::string& rowFailure() const = 0;
    // Starts writing the waiting rows again without waiting for the disk.
    virtual void retryWaitingRows() = 0;
    // Waits for the rows being written and tries the waiting ones once more; true when none waits.
    virtual bool settleWaitingRows() = 0;
    // Writes the waiting rows to a recovery file and returns its path; throws when no folder takes it.
    virtual std::string moveWaitingRowsToRecoveryFile() = 0;
    // The session is discarded: rows held only in memory are given up (those in the session's journal
    // were set aside with its workbook).
    virtual void discardWaitingRows() = 0;
    // Called after every commit of rows, for a view of the rows not yet in the workbook.
    virtual void setRowsChanged(std::function<void()> changed) = 0;
    // The session is left for good: its workbooks are let go and its window hidden.
    virtual void closeSession() = 0;

protected:
    ~EndedSession() = default;
};

} // namespace veltrum::session
