// The subject's next session and phase from the summary, and the phase's parameters from the subject's
// parameter workbook.
#include "SetupPanel.h"

#include "CellValues.h"
#include "SetupError.h"
#include "engine/Phase.h"
#include "engine/SubjectName.h"

#include <stdexcept>

namespace veltrum::session {

namespace {

// One parameter column per phase, in the order of the phase list.
int phaseColumns() {
    return static_cast<int>(engine::phases().size());
}

// "1 MagTrain, 2 Auto, 3 SuccDisc and 4 SimDisc"
std::string phaseList() {
    std::string list;
    for (const engine::PhaseRules& phase : engine::phases()) {
        if (!list.empty())
            list += phase.number() == phaseColumns() ? " and " : ", ";
        list += std::to_string(phase.number()) + " " + std::string(phase.name);
    }
    return list;
}

} // namespace

ParameterTable::ParameterTable()
    : m_columns(static_cast<std::size_t>(phaseColumns()) + 1) {}

const std::optional<workbook::Cell>& ParameterTable::at(int phase, int row) const {
    if (phase < 0 || phase > phaseColumns() || row < 1 || row > rows)
        throw std::out_of_range("The parameter table has no entry for phase " + std::to_string(phase) +
                                ", row " + std::to_string(row) + ".");
    return m_columns[static_cast<std::size_t>(phase)][static_cast<std::size_t>(row)];
}

void SetupPanel::LoadPhaseParameters() {
    m_loaded.Subject = Subject_In.text();
    requireSafeSubjectName(m_loaded.Subject, "Subject list");
    if (PhaseChange == 0)
        lookUpSummary();
    PhaseChange = 0;
    SessionNum.setText(m_loaded.SessionNumber.toString());
    readParameterTable();
    m_loaded.parameters = readPhaseParameters();
    m_engine.load(m_loaded);
}

void SetupPanel::lookUpSummary() {
    m_loaded.SessionNumber = 0;
    const std::string path = dataPath("Results/Results_Summary.xls");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The summary workbook " + path +
                         " does not exist. Put the summary workbook (sheet All) in the Results folder.");
    Data1.setDatabaseName(path);
    Data1.setRecordSource("All$");
    if (!m_listing || !m_startupSummary)
        m_startupSummary =
            m_services.records->summaryEntries(path, "All", records::SessionRecords::Rates::Left);
    findLastSession(*m_startupSummary, path);
    if (!m_listing)
        m_startupSummary.reset();
}

void SetupPanel::findLastSession(const records::SummaryEntries& entries, const std::string& path) {
    Int16& session = m_loaded.SessionNumber;
    Int16& phase = m_loaded.PhaseNumber;
    const std::string& subject = m_loaded.Subject;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // Only the subject of every row is read; the rest of a row only for the subject's own rows.
        const workbook::Cell rowSubject = entries.subjectAt(i);
        if (rowSubject.isEmpty() ||
            !engine::sameSubjectIgnoringCase(workbook::toDisplayText(rowSubject), subject))
            continue;
        const records::SummaryEntry entry = entries.at(i);
        auto where = [&](const char* column) {
            return "Summary workbook " + path + ", sheet All, row " + std::to_string(entry.sheetRow) +
                   ", column " + column;
        };
        auto integerOf = [&](const workbook::Cell& cell, const char* column) {
            if (const std::optional<std::string> problem = int16Problem(cell))
                throw SetupError(where(column) + ": " + *problem +
                                 ". Correct or remove that row of subject " + subject + ".");
            return toInt16(cell);
        };
        const Int16 rowSession = integerOf(entry.session, "Session");
        phase = integerOf(entry.phase, "Phase");
        if (phase < 0 || phase > phaseColumns())
            throw SetupError(where("Phase") + ": phase " + phase.toString() + " does not exist; phases are " +
                             phaseList() + ". Correct that row of subject " + subject + ".");
        if (rowSession > session)
            session = rowSession;
    }
    if (session == Int16::maximum)
        throw SetupError("Summary workbook " + path + ": subject " + subject +
                         " already has session 32767, the last session number there can be.");
    session += 1;
    Combo1.setListIndex(phase.toInt() - 1);
}

void SetupPanel::readParameterTable() {
    const std::string path = dataPath("Parameters/" + m_loaded.Subject + ".xls");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The parameter workbook " + path + " of subject " + m_loaded.Subject +
                         " does not exist. Create it (sheet Parameters, a column per phase) or pick "
                         "another subject.");
    Data1.setDatabaseName(path);
    Data1.setRecordSource("Parameters$");
    Data1.refresh();
    if (Data1.recordCount() < ParameterTable::rows || Data1.table().columnCount() < phaseColumns() + 1) {
        std::string columns = "names, then ";
        for (const engine::PhaseRules& phase : engine::phases())
            columns += (phase.number() == 1 ? "" : ", ") + std::string(phase.name);
        throw SetupError("The parameter workbook " + path + ", sheet Parameters, has " +
                         std::to_string(Data1.recordCount()) + " parameter rows and " +
                         std::to_string(Data1.table().columnCount()) +
                         " columns; it needs 10 rows below the heading row and " +
                         std::to_string(phaseColumns() + 1) + " columns (" + columns + ").");
    }
    Data1.moveFirst();
    for (int r = 1; r <= ParameterTable::rows; ++r) {
        for (int c = 1; c <= phaseColumns(); ++c)
            m_paramTable.set(c, r, Data1.field(c));
        Data1.moveNext();
    }
}

void ParameterTable::set(int phase, int row, workbook::Cell cell) {
    at(phase, row); // the same bounds
    m_columns[static_cast<std::size_t>(phase)][static_cast<std::size_t>(row)] = std::move(cell);
}

std::string SetupPanel::parameterCellName(int column, int row, const char* name) const {
    const engine::PhaseRules* rules = engine::phaseNumbered(column);
    const std::string phase = rules ? std::string(rules->name) : "none";
    return "Parameter workbook " + Data1.databaseName() + ", sheet Parameters, cell " +
           columnLetters(column) + std::to_string(row + 1) + " (" + name + ", phase " + phase + ")";
}

Int16 SetupPanel::parameterInt16(int row, const char* name) const {
    const int column = m_loaded.PhaseNumber.toInt();
    const std::optional<workbook::Cell>& entry = m_paramTable.at(column, row);
    if (!entry)
        return 0;
    if (const std::optional<std::string> problem = int16Problem(*entry))
        throw SetupError(parameterCellName(column, row, name) + ": " + *problem +
                         ". Enter a whole number from 0 to 32767.");
    const Int16 value = toInt16(*entry);
    // Negative counts and durations would leave timers that never fire or sessions that never end.
    if (value < 0)
        throw SetupError(parameterCellName(column, row, name) + ": " + value.toString() +
                         " is negative. Enter a whole number from 0 to 32767.");
    return value;
}

engine::PhaseParameters SetupPanel::readPhaseParameters() const {
    const int p = m_loaded.PhaseNumber.toInt();
    auto flag = [&](int row) {
        const std::optional<workbook::Cell>& entry = m_paramTable.at(p, row);
        return Int16(entry && equalsOne(*entry) ? 1 : 0);
    };
    engine::PhaseParameters parameters;
    parameters.TotalTrials = parameterInt16(1, "TotalTrials");
    parameters.SessionDuration = parameterInt16(2, "SessionDuration");
    parameters.HeadDetect = flag(3);
    parameters.StimulusTotalCount = parameterInt16(4, "StimulusTotalCount");
    parameters.Instrumental = flag(5);
    parameters.Pavlovian = flag(6);
    parameters.HopperDuration = parameterInt16(7, "HopperDuration");
    // A hopper time the hopper timer cannot hold is told before the parameters below it.
    try {
        engine::SessionEngine::hopperMilliseconds(parameters.HopperDuration);
    } catch (const forms::OverflowError&) {
        throw SetupError(parameterCellName(p, 7, "HopperDuration") + ": a hopper time of " +
                         parameters.HopperDuration.toString() +
                         " s is longer than the hopper timer can hold. Enter a hopper time from 0 to 32 "
                         "seconds.");
    }
    parameters.ResponseITI = parameterInt16(8, "ResponseITI");
    parameters.NoResponseITI = parameterInt16(9, "NoResponseITI");
    parameters.FIDuration = parameterInt16(10, "FIDuration");
    return parameters;
}

} // namespace veltrum::session
