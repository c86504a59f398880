#include "crt.h"
#include "engine/Phase.h"
#include "engine/SubjectName.h"

#include "CellValues.h"
#include "SetupError.h"

namespace veltrum::session {

namespace {

constexpr int parameterRows = 10;

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

void crt::LoadPhaseParameters() {
    state.Subject = Subject_In.text();
    requireSafeSubjectName(state.Subject, "Subject list");
    if (state.PhaseChange == 0)
        lookUpSummary();
    state.PhaseChange = 0;
    SessionNum.setText(state.SessionNumber.toString());
    readParameterTable();
    applyPhaseParameters();
}

void crt::lookUpSummary() {
    state.SessionNumber = 0;
    const std::string path = dataPath("Results/Results_Summary.xls");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The summary workbook " + path +
                         " does not exist. Put the summary workbook (sheet All) in the Results folder.");
    Data1.setDatabaseName(path);
    Data1.setRecordSource("All$");
    if (!m_loading || !m_startupSummary)
        m_startupSummary = records().summaryEntries(path, "All");
    findLastSession(*m_startupSummary, path);
    if (!m_loading)
        m_startupSummary.reset();
}

void crt::findLastSession(const records::SummaryEntries& entries, const std::string& path) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const records::SummaryEntry entry = entries.at(i);
        if (entry.subject.isEmpty() ||
            !engine::sameSubjectIgnoringCase(workbook::toDisplayText(entry.subject), state.Subject))
            continue;
        auto where = [&](const char* column) {
            return "Summary workbook " + path + ", sheet All, row " + std::to_string(entry.sheetRow) +
                   ", column " + column;
        };
        auto integerOf = [&](const workbook::Cell& cell, const char* column) {
            if (const std::optional<std::string> problem = int16Problem(cell))
                throw SetupError(where(column) + ": " + *problem +
                                 ". Correct or remove that row of subject " + state.Subject + ".");
            return toInt16(cell);
        };
        const Int16 session = integerOf(entry.session, "Session");
        state.PhaseNumber = integerOf(entry.phase, "Phase");
        if (state.PhaseNumber < 0 || state.PhaseNumber > phaseColumns())
            throw SetupError(where("Phase") + ": phase " + state.PhaseNumber.toString() +
                             " does not exist; phases are " + phaseList() + ". Correct that row of subject " +
                             state.Subject + ".");
        if (session > state.SessionNumber)
            state.SessionNumber = session;
    }
    if (state.SessionNumber == Int16::maximum)
        throw SetupError("Summary workbook " + path + ": subject " + state.Subject +
                         " already has session 32767, the last session number there can be.");
    state.SessionNumber += 1;
    Combo1.setListIndex(state.PhaseNumber.toInt() - 1);
}

void crt::readParameterTable() {
    const std::string path = dataPath("Parameters/" + state.Subject + ".xls");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The parameter workbook " + path + " of subject " + state.Subject +
                         " does not exist. Create it (sheet Parameters, a column per phase) or pick "
                         "another subject.");
    Data1.setDatabaseName(path);
    Data1.setRecordSource("Parameters$");
    Data1.refresh();
    if (Data1.recordCount() < parameterRows || Data1.table().columnCount() < phaseColumns() + 1) {
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
    for (int r = 1; r <= parameterRows; ++r) {
        for (int c = 1; c <= phaseColumns(); ++c)
            m_paramTable[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = Data1.field(c);
        Data1.moveNext();
    }
}

std::string crt::parameterCellName(int column, int row, const char* name) const {
    const engine::PhaseRules* rules = engine::phaseNumbered(column);
    const std::string phase = rules ? std::string(rules->name) : "none";
    return "Parameter workbook " + Data1.databaseName() + ", sheet Parameters, cell " +
           columnLetters(column) + std::to_string(row + 1) + " (" + name + ", phase " + phase + ")";
}

Int16 crt::parameterInt16(int row, const char* name) const {
    const int column = state.PhaseNumber.toInt();
    const std::optional<workbook::Cell>& entry =
        m_paramTable[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
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

void crt::applyPhaseParameters() {
    const int p = state.PhaseNumber.toInt();
    auto flag = [&](int row) {
        const std::optional<workbook::Cell>& entry =
            m_paramTable[static_cast<std::size_t>(p)][static_cast<std::size_t>(row)];
        return Int16(entry && equalsOne(*entry) ? 1 : 0);
    };
    state.TotalTrials = parameterInt16(1, "TotalTrials");
    state.SessionDuration = parameterInt16(2, "SessionDuration");
    state.HeadDetect = flag(3);
    state.StimulusTotalCount = parameterInt16(4, "StimulusTotalCount");
    state.Instrumental = flag(5);
    state.Pavlovian = flag(6);
    state.HopperDuration = parameterInt16(7, "HopperDuration");
    try {
        Hopper_Timer.setInterval((state.HopperDuration * Int16(1000)).toInt());
    } catch (const OverflowError&) {
        throw SetupError(parameterCellName(p, 7, "HopperDuration") + ": a hopper time of " +
                         state.HopperDuration.toString() +
                         " s is longer than the hopper timer can hold. Enter a hopper time from 0 to 32 "
                         "seconds.");
    }
    state.ResponseITI = parameterInt16(8, "ResponseITI");
    state.ITITotalCount = state.HardwareFree ? Int16(2) : state.ResponseITI;
    state.NoResponseITI = parameterInt16(9, "NoResponseITI");
    state.FIDuration = parameterInt16(10, "FIDuration");
    FI.setInterval(state.FIDuration.toInt());
}

} // namespace veltrum::session
