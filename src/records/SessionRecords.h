// What a session keeps, in one place: its workbook made from the template, its trial rows (and the
// recovery file of rows that could not reach it), the summary record of a saved session, and the
// summary's rows that tell a subject's last session and its history. The window models
// know this interface only; the program keeps everything in Excel 97-2003 workbooks (WorkbookRecords),
// tests may keep it in memory.
#pragma once

#include "platform/FileSystem.h"
#include "records/RowJournal.h"
#include "records/RowSink.h"
#include "records/SubjectClaim.h"
#include "workbook/Appender.h"
#include "workbook/Cell.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::records {

// One row of the summary workbook's sheet as the look-up of a subject's last session reads it.
struct SummaryEntry {
    int sheetRow = 0; // counted from 1, the header being row 1
    workbook::Cell subject;
    workbook::Cell session;
    workbook::Cell phase;
    // The record's rates, for a subject's history: empty where the sheet lacks the column.
    workbook::Cell trialPC;
    workbook::Cell targetDR;
    workbook::Cell targetRate;
    workbook::Cell hopPC;
};

// The rows of a summary, each made when it is asked for: a summary of many thousand sessions is held
// the way its store keeps it, not as a copy.
class SummaryEntries {
public:
    virtual ~SummaryEntries() = default;
    virtual std::size_t size() const = 0;
    virtual SummaryEntry at(std::size_t index) const = 0;
    // Only the row's subject: what a scan for one subject's rows reads of every row.
    virtual workbook::Cell subjectAt(std::size_t index) const { return at(index).subject; }
};

class SessionRecords {
public:
    virtual ~SessionRecords() = default;

    // Brings into their workbooks the rows that journals of earlier runs in `folder` hold and the
    // workbooks lack; one report per journal found. Sessions another program is running are left to it.
    virtual std::vector<JournalRecovery> recoverEarlierRows(const std::string& folder) = 0;
    // Claims `who.subject` for the session about to start, in `folder`, until the returned object goes.
    // Throws SubjectHeld when another session holds it, unless `takeOverLeft` is set and its claim was
    // left by a program that ended without removing it.
    virtual std::unique_ptr<HeldSubject> claimSubject(const std::string& folder, const ClaimIdentity& who,
                                                      bool takeOverLeft) = 0;
    // Puts a fresh copy of the template at `path`, checked to open with its sheet "Data" whose first row
    // names every one of `columns`, once every check has passed: a failure (thrown, naming the file and
    // what to do) leaves nothing behind. A workbook already
    // under that name holds a session that was never saved: its journal's rows are brought in, then it is
    // kept under a name of its own, which is returned ("" when there was none); its picture
    // (`<Subject>.<N>.png`) goes with it. Call it only while holding the subject's claim.
    virtual std::string createSessionWorkbook(const std::string& templatePath, const std::string& path,
                                              const std::vector<std::string>& columns) = 0;
    // Where the trial rows of the session workbook at `path` are committed.
    virtual std::shared_ptr<RowSink> trialRows(const std::string& path) = 0;
    // Sets the workbook of a session that is not saved aside, under "<Subject>.<N>.discarded.xls" beside
    // it (".discarded-2.xls" and on when that name is taken; nothing is ever replaced), with the trial
    // rows its journal holds; returns where it went. Throws naming it when it cannot be moved.
    virtual std::string setSessionWorkbookAside(const std::string& path) = 0;
    // Appends the record below the last row of `sheet` and commits it in one step; throws
    // (workbook::WorkbookError) without having changed anything when it cannot, and when the sheet
    // already holds a record of the same "Subject" and "Session": a session is recorded once.
    virtual void appendSummaryRecord(const std::string& path, std::string_view sheet,
                                     const workbook::AppendRow& record) = 0;
    // Every row of `sheet` with its "Subject", "Session" and "Phase" cells, and with its rates when
    // `rates` is Rates::Wanted (they cost a read of four more columns); throws (WorkbookError) naming the
    // file when it cannot be read, or when the sheet has rows but lacks one of the three columns.
    enum class Rates { Left, Wanted };
    virtual std::shared_ptr<const SummaryEntries> summaryEntries(const std::string& path,
                                                                 std::string_view sheet, Rates rates) = 0;
    // Rows that could not reach the session workbook at `workbookPath`, kept in a new recovery file
    // (`<Subject>.<N>.rows-not-in-workbook.csv`) in the first of `folders` that takes it; returns its
    // path. Throws std::runtime_error naming every folder tried when none takes it.
    virtual std::string writeRecoveryFile(const std::vector<workbook::AppendRow>& rows,
                                          const std::string& workbookPath,
                                          const std::vector<std::string>& folders) = 0;
};

// The records kept in workbooks on disk, read through `files` (so reads can be counted and faked), with
// trial rows journalled beside the session workbook.
class WorkbookRecords : public SessionRecords {
public:
    explicit WorkbookRecords(platform::FileSystem& files)
        : m_files(files) {}

    std::vector<JournalRecovery> recoverEarlierRows(const std::string& folder) override;
    std::unique_ptr<HeldSubject> claimSubject(const std::string& folder, const ClaimIdentity& who,
                                              bool takeOverLeft) override;
    std::string createSessionWorkbook(const std::string& templatePath, const std::string& path,
                                      const std::vector<std::string>& columns) override;
    std::shared_ptr<RowSink> trialRows(const std::string& path) override;
    std::string setSessionWorkbookAside(const std::string& path) override;
    void appendSummaryRecord(const std::string& path, std::string_view sheet,
                             const workbook::AppendRow& record) override;
    std::shared_ptr<const SummaryEntries> summaryEntries(const std::string& path, std::string_view sheet,
                                                         Rates rates) override;
    std::string writeRecoveryFile(const std::vector<workbook::AppendRow>& rows,
                                  const std::string& workbookPath,
                                  const std::vector<std::string>& folders) override;

private:
    std::string keptWorkbookName(const std::string& path) const;
    platform::FileSystem& m_files;
};

} // namespace veltrum::records
