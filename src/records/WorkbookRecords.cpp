#include "records/SessionRecords.h"

#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <stdexcept>

namespace veltrum::records {

namespace {

workbook::Workbook readWorkbook(const platform::FileSystem& files, const std::string& path) {
    std::string bytes;
    try {
        bytes = files.readText(path);
    } catch (const std::runtime_error& error) {
        throw workbook::WorkbookError(error.what());
    }
    return workbook::Workbook::fromBytes(std::move(bytes), path);
}

} // namespace

std::vector<JournalRecovery> WorkbookRecords::recoverEarlierRows(const std::string& folder) {
    return recoverJournals(folder);
}

std::string WorkbookRecords::keptWorkbookName(const std::string& path) const {
    const std::string stem = path.substr(0, path.size() - 4);
    for (int copy = 1;; ++copy) {
        const std::string name =
            stem + ".not-saved" + (copy == 1 ? std::string() : "-" + std::to_string(copy)) + ".xls";
        if (!m_files.exists(name))
            return name;
    }
}

// The copy is made under a hidden name and put in place only once it opens with its sheet "Data", so a
// refused Start leaves nothing behind; a workbook already under the session's name is never overwritten.
std::string WorkbookRecords::createSessionWorkbook(const std::string& templatePath, const std::string& path) {
    const std::size_t cut = path.rfind('/') + 1;
    const std::string staging = path.substr(0, cut) + "." + path.substr(cut) + ".new";
    std::string kept;
    try {
        m_files.copyFile(templatePath, staging);
        const workbook::Workbook copy = readWorkbook(m_files, staging);
        const workbook::Table data(copy, "Data");
        // Rows an earlier run committed to its journal go into the earlier workbook before it is kept.
        const JournalRecovery recovered = recoverJournal(path);
        if (!recovered.problem.empty())
            throw std::runtime_error(recovered.problem);
        if (m_files.exists(path)) {
            kept = keptWorkbookName(path);
            m_files.moveFile(path, kept);
        }
        m_files.moveFile(staging, path);
    } catch (const std::exception& error) {
        try {
            if (m_files.exists(staging))
                m_files.removeFile(staging);
            if (!kept.empty() && !m_files.exists(path))
                m_files.moveFile(kept, path);
        } catch (const std::exception&) {
            // The earlier session's rows stay where they were moved; the operator must learn where.
            if (!kept.empty())
                throw std::runtime_error(std::string(error.what()) +
                                         " The earlier workbook of this session is kept as " + kept + ".");
        }
        throw;
    }
    return kept;
}

std::shared_ptr<RowSink> WorkbookRecords::trialRows(const std::string& path) {
    return std::make_shared<JournalledRowSink>(path);
}

void WorkbookRecords::removeSessionWorkbook(const std::string& path) {
    m_files.removeFile(path);
}

void WorkbookRecords::appendSummaryRecord(const std::string& path, std::string_view sheet,
                                          const workbook::AppendRow& record) {
    workbook::appendRecords(path, sheet, {record});
}

std::vector<SummaryEntry> WorkbookRecords::summaryEntries(const std::string& path, std::string_view sheet) {
    const workbook::Workbook book = readWorkbook(m_files, path);
    const workbook::Table table(book, sheet);
    std::vector<SummaryEntry> entries;
    if (table.recordCount() == 0)
        return entries;
    // The columns must exist even when no row is the subject's, so a damaged summary is noticed at once.
    const int subject = table.column("Subject");
    const int session = table.column("Session");
    const int phase = table.column("Phase");
    entries.reserve(static_cast<std::size_t>(table.recordCount()));
    for (int record = 0; record < table.recordCount(); ++record)
        entries.push_back({record + 2, table.field(record, subject), table.field(record, session),
                           table.field(record, phase)});
    return entries;
}

} // namespace veltrum::records
