// A session's records kept in memory: session workbooks as lists of rows, the summary as a list of
// records, recovery files as lists of rows, nothing on disk. The summary's entries are read back from the
// records saved here.
#pragma once

#include "records/SessionRecords.h"
#include "workbook/Workbook.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrum::testing {

class MemoryRecords : public records::SessionRecords {
public:
    std::map<std::string, std::vector<workbook::AppendRow>> workbooks;
    std::vector<workbook::AppendRow> summary;

    std::map<std::string, records::ClaimIdentity> claims; // by subject, while held

    std::vector<records::JournalRecovery> recoverEarlierRows(const std::string&) override { return {}; }
    std::unique_ptr<records::HeldSubject> claimSubject(const std::string&, const records::ClaimIdentity& who,
                                                       bool) override {
        if (const auto held = claims.find(who.subject); held != claims.end()) {
            records::ClaimFound found;
            found.holder = held->second;
            throw records::SubjectHeld(
                "Subject " + who.subject + " is in a session on " + found.description(), found);
        }
        claims[who.subject] = who;
        return std::make_unique<Claim>(*this, who.subject);
    }
    std::string createSessionWorkbook(const std::string&, const std::string& path,
                                      const std::vector<std::string>&) override {
        std::string kept;
        if (auto earlier = workbooks.find(path); earlier != workbooks.end()) {
            kept = path + ".not-saved";
            workbooks[kept] = std::move(earlier->second);
        }
        workbooks[path] = {};
        return kept;
    }
    std::shared_ptr<records::RowSink> trialRows(const std::string& path) override {
        return std::make_shared<Sink>(*this, path);
    }
    std::string setSessionWorkbookAside(const std::string& path) override {
        const auto workbook = workbooks.find(path);
        if (workbook == workbooks.end())
            throw std::runtime_error(path + " does not exist.");
        const std::string stem = path.substr(0, path.size() - 4);
        for (int copy = 1;; ++copy) {
            const std::string aside =
                stem + ".discarded" + (copy == 1 ? std::string() : "-" + std::to_string(copy)) + ".xls";
            if (workbooks.contains(aside))
                continue;
            auto rows = std::move(workbook->second);
            workbooks.erase(workbook);
            workbooks[aside] = std::move(rows);
            return aside;
        }
    }
    void appendSummaryRecord(const std::string&, std::string_view,
                             const workbook::AppendRow& record) override {
        for (const workbook::AppendRow& saved : summary)
            if (cell(saved, "Subject").text == cell(record, "Subject").text &&
                cell(saved, "Session").number == cell(record, "Session").number)
                throw workbook::WorkbookError("The summary already holds this session.");
        summary.push_back(record);
    }
    std::shared_ptr<const records::SummaryEntries> summaryEntries(const std::string&, std::string_view,
                                                                  Rates) override {
        auto entries = std::make_shared<Entries>();
        for (const workbook::AppendRow& record : summary)
            entries->rows.push_back({static_cast<int>(entries->rows.size()) + 2, cell(record, "Subject"),
                                     cell(record, "Session"), cell(record, "Phase"), cell(record, "TrialPC"),
                                     cell(record, "TargetDR"), cell(record, "TargetRate"),
                                     cell(record, "HopPC")});
        return entries;
    }
    // Recovery files by the workbook whose rows they keep.
    std::map<std::string, std::vector<workbook::AppendRow>> recoveryFiles;
    std::string writeRecoveryFile(const std::vector<workbook::AppendRow>& rows,
                                  const std::string& workbookPath, const std::vector<std::string>&) override {
        auto& kept = recoveryFiles[workbookPath];
        kept.insert(kept.end(), rows.begin(), rows.end());
        return workbookPath + ".rows-not-in-workbook";
    }

private:
    struct Claim : records::HeldSubject {
        Claim(MemoryRecords& records, std::string subject)
            : records(records)
            , subject(std::move(subject)) {}
        ~Claim() override { records.claims.erase(subject); }
        MemoryRecords& records;
        std::string subject;
    };
    struct Entries : records::SummaryEntries {
        std::vector<records::SummaryEntry> rows;
        std::size_t size() const override { return rows.size(); }
        records::SummaryEntry at(std::size_t index) const override { return rows.at(index); }
    };
    class Sink : public records::RowSink {
    public:
        Sink(MemoryRecords& records, std::string path)
            : m_records(records)
            , m_path(std::move(path)) {}
        void append(const std::vector<workbook::AppendRow>& rows) override {
            auto& kept = m_records.workbooks.at(m_path);
            kept.insert(kept.end(), rows.begin(), rows.end());
        }
        std::string location() const override { return m_path; }

    private:
        MemoryRecords& m_records;
        std::string m_path;
    };

    static workbook::Cell cell(const workbook::AppendRow& record, const std::string& header) {
        for (const workbook::AppendField& field : record) {
            if (field.header != header)
                continue;
            if (field.value.kind == workbook::ValueKind::Text)
                return {workbook::CellKind::Text, 0.0, field.value.text};
            if (field.value.kind == workbook::ValueKind::Number)
                return {workbook::CellKind::Number, field.value.number, {}};
        }
        return {};
    }
};

} // namespace veltrum::testing
