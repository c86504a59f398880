#include "export/ResultsFolder.h"

#include "records/RecoveryFile.h"
#include "results/Formats.h"
#include "results/SummaryRecord.h"
#include "workbook/commit/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace veltrum::testing {

using workbook::AppendValue;

std::vector<workbook::AppendRow> trialRows(const std::string& subject, int session, int phase, int count) {
    static const char* const outcomes[] = {"Reward", "NotGoal", "PreFIGoal", "Trial Timeout", "S-", "ITI"};
    std::vector<workbook::AppendRow> rows;
    for (int i = 0; i < count; ++i) {
        const int trial = i / 2 + 1;
        const double sessionTime = 12.0 + i * 7.37;
        rows.push_back({
            {"Subject", AppendValue::fromText(subject)},
            {"Date", AppendValue::fromDate(2026, 1, 5 + session % 20)},
            {"Session", AppendValue::fromNumber(session)},
            {"Phase", AppendValue::fromNumber(phase)},
            {"TrialType", AppendValue::fromNumber(1 + trial % 6)},
            {"Trial", AppendValue::fromNumber(trial)},
            {"Ordinal", AppendValue::fromNumber(i % 2 + 1)},
            {"SessionTime", AppendValue::fromText(results::formatTwoDecimals(sessionTime))},
            {"TrialTime", AppendValue::fromText(results::formatTwoDecimals((i % 2) * 2.5 - 0.3))},
            {"Goal", AppendValue::fromNumber(1 + trial % 6)},
            {"Response", AppendValue::fromNumber(i % 7)},
            {"Outcome", AppendValue::fromText(outcomes[i % 6])},
            {"CorrectionTrial", AppendValue::fromNumber(0)},
        });
    }
    return rows;
}

workbook::AppendRow summaryRow(const std::string& subject, int session, int phase) {
    engine::SessionTotals totals;
    totals.Subject = subject;
    totals.PhaseDescription = phase == 1   ? "MagTrain"
                              : phase == 2 ? "Auto"
                              : phase == 3 ? "SuccDisc"
                                           : "SimDisc";
    totals.SessionNumber = session;
    totals.PhaseNumber = phase;
    totals.CurrentTrial = 40;
    totals.HopCheck = 30 + session % 7;
    totals.TrialsWPeck = 20 + session % 11;
    totals.TargetPecks = 25;
    totals.NonTargetPecks = 5;
    totals.TargetSPlus = 6;
    totals.TargetSMinus = 2;
    totals.PreTargetSPlus = 1;
    totals.PreTargetSMinus = 1;
    totals.Timeouts = 3;
    totals.StimulusTotalTime = 120.0;
    totals.SessionTime = 30;
    totals.TotalTrials = 40;
    totals.SessionDuration = 30;
    totals.HeadDetect = 1;
    totals.Instrumental = 1;
    totals.HopperDuration = 3;
    totals.ResponseITI = 4;
    totals.NoResponseITI = 6;
    totals.StimulusTotalCount = 5;
    const results::SavingMoment moment{{2026, 1, 5 + session % 20},
                                       9 * 3600.0 + session * 61.0,
                                       12345,
                                       session % 3 == 0 ? "SHAPING KEYS USED. a comment, with \"quotes\""
                                                        : ""};
    return results::summaryRecord(totals, moment);
}

void writeNewFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + path);
    ::close(fd);
}

ResultsFolder::ResultsFolder(std::string dataFolder)
    : m_data(std::move(dataFolder)) {
    std::filesystem::create_directories(results());
    m_template = workbook::readWholeFile(VELTRUM_DEMO_RESULTS "/Session_Template.xls");
    m_summary = workbook::readWholeFile(VELTRUM_DEMO_RESULTS "/Results_Summary.xls");
    if (!std::filesystem::exists(results() + "/Session_Template.xls"))
        std::filesystem::copy_file(VELTRUM_DEMO_RESULTS "/Session_Template.xls",
                                   results() + "/Session_Template.xls");
}

std::string ResultsFolder::addWorkbook(const std::string& name,
                                       const std::vector<workbook::AppendRow>& rows) const {
    const std::vector<std::uint8_t> bytes =
        rows.empty() ? m_template : workbook::appendRecordsToBytes(m_template, name, "Data", rows);
    const std::string path = results() + "/" + name;
    writeNewFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

void ResultsFolder::addSession(const std::string& subject, int session, int phase, int rows) {
    addWorkbook(subject + "." + std::to_string(session) + ".xls", trialRows(subject, session, phase, rows));
    m_records.push_back(summaryRow(subject, session, phase));
}

void ResultsFolder::saveSummary() const {
    const std::vector<std::uint8_t> bytes =
        m_records.empty()
            ? m_summary
            : workbook::appendRecordsToBytes(m_summary, "Results_Summary.xls", "All", m_records);
    workbook::replaceFileDurably(results() + "/Results_Summary.xls", bytes);
}

void ResultsFolder::addRecoveryFile(const std::string& folder, const std::string& name,
                                    const std::vector<workbook::AppendRow>& rows) const {
    writeNewFile(folder + "/" + name, records::rowsAsCsv(rows));
}

} // namespace veltrum::testing
