// Data folders for the export's tests and benchmark, written with the program's own workbook writer and
// record builders: session workbooks from the demo's template, summary records, recovery files.
#pragma once

#include "workbook/Appender.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum::testing {

// `count` trial rows of a session as the program builds them (times as "####0.00" texts).
std::vector<workbook::AppendRow> trialRows(const std::string& subject, int session, int phase, int count);

// The summary record the program saves for such a session.
workbook::AppendRow summaryRow(const std::string& subject, int session, int phase);

class ResultsFolder {
public:
    // Makes `dataFolder` and its Results with the demo's template (or adds to them when they are there);
    // the summary's records start as the demo's (four records of P101 and P102).
    explicit ResultsFolder(std::string dataFolder);

    std::string results() const { return m_data + "/Results"; }
    // Writes Results/<name> holding the template with the rows appended; returns its path.
    std::string addWorkbook(const std::string& name, const std::vector<workbook::AppendRow>& rows) const;
    // A saved session: its workbook <subject>.<session>.xls; its summary record is kept for saveSummary.
    void addSession(const std::string& subject, int session, int phase, int rows);
    // Writes the summary with every record kept so far (replacing it).
    void saveSummary() const;
    // Writes `folder`/<name> as the program writes a recovery file.
    void addRecoveryFile(const std::string& folder, const std::string& name,
                         const std::vector<workbook::AppendRow>& rows) const;

private:
    std::string m_data;
    std::vector<std::uint8_t> m_template;
    std::vector<std::uint8_t> m_summary;
    std::vector<workbook::AppendRow> m_records;
};

void writeNewFile(const std::string& path, const std::string& bytes);

} // namespace veltrum::testing
