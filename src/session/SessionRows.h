// The session's rows: every scored touch and timeout becomes a row of the session workbook (Data2),
// handed to the row writer, which commits rows in order on its own thread while the chamber goes on. Rows
// that cannot be written wait, in order, and are told in one notice; at the end they are written again
// or kept in a recovery file. The saved session's record goes to the summary workbook (Data3).
#pragma once

#include "DataControl.h"
#include "Services.h"
#include "engine/SessionEngine.h"
#include "records/CommitRunner.h"
#include "records/RowWriter.h"
#include "workbook/Appender.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace veltrum::session {

using forms::Int16;

class SessionRows final : public engine::TrialRecords {
public:
    SessionRows(const Services& services, engine::SessionEngine& engine);
    ~SessionRows() override;
    SessionRows(const SessionRows&) = delete;
    SessionRows& operator=(const SessionRows&) = delete;

    DataControl Data2; // the session workbook
    DataControl Data3; // the summary workbook

    // The thirteen columns of a trial row, in the order they are assigned.
    static const std::vector<std::string>& trialColumns();

    // Brings into their workbooks the rows that journals of earlier runs hold and the workbooks lack, and
    // says so in a notice.
    void recoverEarlierRows(const std::string& resultsFolder);
    // Start: the session's rows go to the workbook at `path` from now on.
    void open(const std::string& path);

    // One row of the session workbook for a touch or a timeout; returns at once.
    void RecordTrial(Int16 ScreenIndex, Int16 TabletPosition) override;
    std::size_t rowsWaiting() const override { return m_rows.waiting(); }
    void retryRows() override { m_rows.retry(); }

    // Trial rows not yet in the session workbook: handed to the row writer and not yet committed (waiting
    // after a failure, or being written), or committed to the journal and not yet brought into it.
    std::size_t pendingRowCount() const { return m_rows.waiting() + m_rows.behind(); }
    std::size_t committedRowCount() const { return m_rows.committed(); }
    // Why the last commit failed; "" when none failed since the last success.
    const std::string& rowFailure() const { return m_rowFailure; }
    // The notice's words about the rows that wait.
    std::string waitingRowsText() const;
    // Runs on this thread (used once the session is over); true when no row waits.
    bool settleWaitingRows();
    // The recovery file goes to the first folder that takes it (the Results folder, the data folder, the
    // home folder, then the system's temporary folders); the rows then no longer wait. Throws
    // std::runtime_error when no folder takes the file: the rows still wait.
    std::string moveWaitingRowsToRecoveryFile();
    // Folders tried by moveWaitingRowsToRecoveryFile instead of the usual ones.
    void setRecoveryFolders(std::vector<std::string> folders) { m_recoveryFolders = std::move(folders); }
    // The session's rows are given up with its workbook: nothing waits, and no journal brings them back.
    void discardWaitingRows() { m_rows.takeWaiting(); }
    // Called after every commit of the row writer (rows committed or failed, the workbook brought up to
    // date).
    void setRowsChanged(std::function<void()> changed) { m_rowsChanged = std::move(changed); }
    // The program ends: rows still waiting get one more try, then go to a recovery file beside the
    // workbook; told on the terminal.
    void keepWaitingRowsAtExit();

private:
    // The row writer's reports: rows committed, a commit failed.
    void rowsCommitted(std::size_t count);
    void rowsFailed(const std::string& why);
    void showWaitingRowsNotice();
    workbook::AppendRow trialRow(Int16 ScreenIndex, Int16 TabletPosition) const;

    Services m_services;
    engine::SessionEngine& m_engine;
    records::InlineCommitRunner m_inlineCommits;
    records::RowWriter m_rows;
    std::string m_rowFailure;
    std::function<void()> m_rowsChanged;
    std::vector<std::string> m_recoveryFolders;
};

} // namespace veltrum::session
