#include "records/SessionRecords.h"

#include "records/RecoveryFile.h"

#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/inplace/FilePatch.h"

#include <map>
#include <stdexcept>

namespace veltrum::records {

namespace {

// More discarded copies of one session than this are not a slip but a fault; it is reported.
constexpr int MaxSetAsideCopies = 999;

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

namespace {

// The subject of a session workbook named `<Subject>.<N>.xls`, or "" for any other name.
std::string subjectOfWorkbook(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    if (!name.ends_with(".xls"))
        return {};
    name.resize(name.size() - 4);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 ||
        name.find_first_not_of("0123456789", dot + 1) != std::string::npos)
        return {};
    return name.substr(0, dot);
}

const workbook::AppendValue* valueOf(const workbook::AppendRow& record, std::string_view header) {
    for (const workbook::AppendField& field : record)
        if (field.header == header)
            return &field.value;
    return nullptr;
}

// The same session as `record` already in the summary (its subject's text and its session's number):
// refused, naming the row, so that no session is counted twice.
void refuseSecondRecord(const workbook::Table& table, const workbook::AppendRow& record,
                        const std::string& path) {
    const workbook::AppendValue* subject = valueOf(record, "Subject");
    const workbook::AppendValue* session = valueOf(record, "Session");
    const int subjectColumn = table.findColumn("Subject");
    const int sessionColumn = table.findColumn("Session");
    if (!subject || !session || subjectColumn < 0 || sessionColumn < 0)
        return;
    for (int row = 0; row < table.recordCount(); ++row) {
        const workbook::Cell name = table.field(row, subjectColumn);
        const workbook::Cell number = table.field(row, sessionColumn);
        const bool sameNumber =
            (number.kind == workbook::CellKind::Number && number.number == session->number) ||
            (number.kind == workbook::CellKind::Text &&
             number.text == std::to_string(static_cast<long>(session->number)));
        if (name.kind == workbook::CellKind::Text && name.text == subject->text && sameNumber)
            throw workbook::WorkbookError(
                path + " already holds a record of " + subject->text + ", session " +
                std::to_string(static_cast<long>(session->number)) + " (row " + std::to_string(row + 2) +
                "): a session is recorded once. This session's rows are in its own workbook; discard it "
                "with \"D\" (it is kept aside), or correct the summary and save again.");
    }
}

// `<stem>.png` for `<stem>.xls`: the session's picture.
std::string pictureOf(const std::string& workbookPath) {
    return workbookPath.substr(0, workbookPath.size() - 4) + ".png";
}

} // namespace

std::vector<JournalRecovery> WorkbookRecords::recoverEarlierRows(const std::string& folder) {
    // A session another program runs keeps its journal and rolls back its own appends; the journals of
    // sessions whose program ended are brought in.
    std::map<std::string, bool> running;
    const auto heldElsewhere = [&](const std::string& workbookPath) {
        const std::string subject = subjectOfWorkbook(workbookPath);
        if (subject.empty())
            return false;
        const auto known = running.find(subject);
        if (known != running.end())
            return known->second;
        const std::unique_ptr<ClaimFound> claim = findClaim(folder, subject);
        return running[subject] = claim && !claim->left;
    };
    return recoverJournals(folder, heldElsewhere);
}

std::unique_ptr<HeldSubject> WorkbookRecords::claimSubject(const std::string& folder,
                                                           const ClaimIdentity& who, bool takeOverLeft) {
    return records::claimSubject(folder, who, takeOverLeft);
}

std::string WorkbookRecords::keptWorkbookName(const std::string& path) const {
    const std::string stem = path.substr(0, path.size() - 4);
    for (int copy = 1;; ++copy) {
        const std::string name =
            stem + ".not-saved" + (copy == 1 ? std::string() : "-" + std::to_string(copy)) + ".xls";
        if (!m_files.exists(name) && !m_files.exists(pictureOf(name)))
            return name;
    }
}

namespace {

// The template's first row of sheet Data must name every column a trial row is written to.
void requireColumns(const workbook::Table& data, const std::string& templatePath,
                    const std::vector<std::string>& columns) {
    std::string missing;
    int count = 0;
    for (const std::string& column : columns)
        if (data.findColumn(column) < 0) {
            missing += (missing.empty() ? "\"" : ", \"") + column + "\"";
            ++count;
        }
    if (count > 0)
        throw std::runtime_error("The session template " + templatePath + " lacks the column" +
                                 (count == 1 ? " " : "s ") + missing +
                                 " in the first row of its sheet Data, so no trial row could be written. "
                                 "Correct the header row and press Start again.");
}

// The copy's workbook and its sheet Data, read once; a copy that is no workbook is the template's fault.
void checkCopy(const platform::FileSystem& files, const std::string& staging, const std::string& templatePath,
               const std::vector<std::string>& columns) {
    try {
        const workbook::Workbook copy = readWorkbook(files, staging);
        requireColumns(workbook::Table(copy, "Data"), templatePath, columns);
    } catch (const workbook::WorkbookError& error) {
        std::string why = error.what();
        for (std::size_t at = why.find(staging); at != std::string::npos; at = why.find(staging, at))
            why.replace(at, staging.size(), templatePath);
        throw std::runtime_error("The session template cannot be used: " + why +
                                 " Put a copy of a working Session_Template.xls (sheet Data) in the Results "
                                 "folder.");
    }
}

} // namespace

// The copy is made under a hidden name and put in place only once it opens with its sheet "Data", so a
// refused Start leaves nothing behind; a workbook already under the session's name is never overwritten.
std::string WorkbookRecords::createSessionWorkbook(const std::string& templatePath, const std::string& path,
                                                   const std::vector<std::string>& columns) {
    if (!m_files.exists(templatePath))
        throw std::runtime_error(
            "The session template " + templatePath +
            " does not exist. Put Session_Template.xls (sheet Data) in the Results folder.");
    const std::size_t cut = path.rfind('/') + 1;
    const std::string staging = path.substr(0, cut) + "." + path.substr(cut) + ".new";
    std::string kept;
    try {
        m_files.copyFile(templatePath, staging);
        checkCopy(m_files, staging, templatePath, columns);
        // Rows an earlier run committed to its journal go into the earlier workbook before it is kept.
        const JournalRecovery recovered = recoverJournal(path);
        if (!recovered.problem.empty())
            throw std::runtime_error(recovered.problem);
        if (m_files.exists(path)) {
            kept = keptWorkbookName(path);
            m_files.moveFile(path, kept);
            // The earlier session's picture goes with its workbook.
            if (m_files.exists(pictureOf(path)) && !m_files.exists(pictureOf(kept)))
                m_files.moveFile(pictureOf(path), pictureOf(kept));
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

// The workbook goes first: a journal (rows it lacks) or rollback journal (an append cut short) beside it
// follows under the new name, so the next start brings those rows into the set-aside workbook, or rolls
// it back, as it would have done for the workbook under its old name.
std::string WorkbookRecords::setSessionWorkbookAside(const std::string& path) {
    const std::string stem = path.ends_with(".xls") ? path.substr(0, path.size() - 4) : path;
    for (int copy = 1; copy <= MaxSetAsideCopies; ++copy) {
        const std::string aside =
            stem + ".discarded" + (copy == 1 ? std::string() : "-" + std::to_string(copy)) + ".xls";
        if (m_files.exists(aside))
            continue;
        try {
            m_files.moveFile(path, aside);
        } catch (const std::runtime_error&) {
            // Taken between the look and the move (another program on a shared folder): the next name.
            if (m_files.exists(aside) && m_files.exists(path))
                continue;
            throw;
        }
        for (const auto& companion : {&journalPathFor, &workbook::rollbackPathFor}) {
            try {
                if (m_files.exists(companion(path)))
                    m_files.moveFile(companion(path), companion(aside));
            } catch (const std::runtime_error&) {
                // The workbook is aside already. A journal left under the old name is named, with the
                // rows it holds, by the journal recovery of the next start.
            }
        }
        return aside;
    }
    throw std::runtime_error("Cannot set " + path + " aside: " + std::to_string(MaxSetAsideCopies) +
                             " discarded copies of this session are already kept beside it.");
}

void WorkbookRecords::appendSummaryRecord(const std::string& path, std::string_view sheet,
                                          const workbook::AppendRow& record) {
    // Checked on the file as read under the writers' lock, so two saves cannot both pass it.
    const auto once = [&](std::span<const std::uint8_t> file) {
        const workbook::Workbook book =
            workbook::Workbook::fromBytes(std::vector<std::uint8_t>(file.begin(), file.end()), path);
        refuseSecondRecord(workbook::Table(book, sheet), record, path);
    };
    workbook::appendRecords(path, sheet, {record}, once);
}

namespace {

// The summary's sheet as read: its three columns (and the rates, when wanted) are read once, in one pass,
// and kept as the table keeps them.
class SheetEntries final : public SummaryEntries {
public:
    SheetEntries(workbook::Workbook book, std::string_view sheet, bool withRates)
        : m_book(std::move(book))
        , m_table(m_book, sheet) {
        if (m_table.recordCount() == 0)
            return;
        // The columns must exist even when no row is the subject's, so a damaged summary is noticed.
        m_subject = m_table.column("Subject");
        m_session = m_table.column("Session");
        m_phase = m_table.column("Phase");
        // Columns looked up are read together on the first field: the rates only when wanted.
        if (!withRates)
            return;
        m_trialPC = m_table.findColumn("TrialPC");
        m_targetDR = m_table.findColumn("TargetDR");
        m_targetRate = m_table.findColumn("TargetRate");
        m_hopPC = m_table.findColumn("HopPC");
    }
    std::size_t size() const override { return static_cast<std::size_t>(m_table.recordCount()); }
    SummaryEntry at(std::size_t index) const override {
        const int record = static_cast<int>(index);
        const auto field = [&](int column) {
            return column < 0 ? workbook::Cell{} : m_table.field(record, column);
        };
        return {record + 2,       field(m_subject),  field(m_session),    field(m_phase),
                field(m_trialPC), field(m_targetDR), field(m_targetRate), field(m_hopPC)};
    }
    workbook::Cell subjectAt(std::size_t index) const override {
        return m_subject < 0 ? workbook::Cell{} : m_table.field(static_cast<int>(index), m_subject);
    }

private:
    workbook::Workbook m_book;
    workbook::Table m_table;
    int m_subject = -1;
    int m_session = -1;
    int m_phase = -1;
    int m_trialPC = -1;
    int m_targetDR = -1;
    int m_targetRate = -1;
    int m_hopPC = -1;
};

} // namespace

std::shared_ptr<const SummaryEntries> WorkbookRecords::summaryEntries(const std::string& path,
                                                                      std::string_view sheet, Rates rates) {
    return std::make_shared<SheetEntries>(readWorkbook(m_files, path), sheet, rates == Rates::Wanted);
}

std::string WorkbookRecords::writeRecoveryFile(const std::vector<workbook::AppendRow>& rows,
                                               const std::string& workbookPath,
                                               const std::vector<std::string>& folders) {
    std::string stem = workbookPath.substr(workbookPath.rfind('/') + 1);
    if (stem.size() > 4 && stem.ends_with(".xls"))
        stem.resize(stem.size() - 4);
    return records::writeRecoveryFile(rows, stem + ".rows-not-in-workbook", folders);
}

} // namespace veltrum::records
