// The set-up panel of the main window: the subject and phase lists, the hardware-free box, the session
// number and the Start button. Each change loads the subject's next session, its phase and the phase's
// parameters into the session engine; a change that fails puts the panel back as it was.
#pragma once

#include "DataControl.h"
#include "Services.h"
#include "engine/SessionEngine.h"
#include "forms/Controls.h"
#include "records/SessionRecords.h"
#include "workbook/Cell.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltrum::session {

using forms::Int16;

// The parameter sheet as read: rows 1 to 10 of the column of each phase of the phase list. Phase 0 (no
// phase picked) reads as empty; an entry never filled is nullopt and reads as 0; a filled entry keeps the
// cell as the workbook holds it, blank cells included.
class ParameterTable {
public:
    static constexpr int rows = 10;
    // One column per phase of the phase list, however many phases there are.
    ParameterTable();
    // Throws std::out_of_range for a phase that is not in the phase list, or a row outside 1..10.
    const std::optional<workbook::Cell>& at(int phase, int row) const;
    void set(int phase, int row, workbook::Cell cell);

private:
    std::vector<std::array<std::optional<workbook::Cell>, rows + 1>> m_columns;
};

class SetupPanel {
public:
    SetupPanel(const Services& services, engine::SessionEngine& engine);
    SetupPanel(const SetupPanel&) = delete;
    SetupPanel& operator=(const SetupPanel&) = delete;

    forms::ComboBox Subject_In;
    forms::CommandButton Command3;
    forms::ComboBox Combo1;
    forms::Label Label8;
    forms::CheckBox Check1;
    forms::TextBox SessionNum;
    forms::Label Label5;
    forms::CommandButton Command1;
    DataControl Data1;
    // 1 while a phase picked by hand loads: the summary look-up is skipped.
    Int16 PhaseChange;

    // Start-up's part of the panel: the subject list, then its last subject in phase 1. From then on a
    // handler that fails puts the panel back and says why. Throws SetupError.
    void loadAtStartUp();

    // Handlers of the panel.
    void Subject_In_Click();
    void Combo1_Click();
    void Check1_Click();
    void Command3_Click();

    // Refuses a name that cannot be a subject's (a file name), or that differs only by case from a listed
    // subject; `where` says where it was read. Throws SetupError.
    void requireSafeSubjectName(const std::string& name, const std::string& where) const;

private:
    // Loads the subject and phase shown: the summary look-up (unless a phase was picked by hand), then the
    // parameter workbook; the engine takes the result.
    void LoadPhaseParameters();
    void LoadSubjectList();
    void lookUpSummary();
    // The subject's highest session number and the phase of its last row in the summary's entries.
    void findLastSession(const records::SummaryEntries& entries, const std::string& path);
    void readParameterTable();
    engine::PhaseParameters readPhaseParameters() const;
    Int16 parameterInt16(int row, const char* name) const;
    std::string parameterCellName(int column, int row, const char* name) const;

    // What a set-up handler may change, kept to put the panel back when the handler fails.
    struct Snapshot {
        engine::SessionSetUp loaded;
        Int16 PhaseChange;
        std::vector<std::string> subjects;
        int subjectIndex = -1;
        std::string subjectText;
        int phaseIndex = -1;
        std::string phaseText;
        int hardwareFree = 0;
        std::string sessionNumText;
        DataControl::Binding data1;
        ParameterTable paramTable;
    };
    // Runs a set-up handler: nested or during start-up it simply runs; from the operator a failure
    // restores the panel and is reported in a message box. beforeChange corrects the snapshot for the
    // control whose change started the handler.
    void runSetupHandler(void (SetupPanel::*handler)(), const std::function<void(Snapshot&)>& beforeChange);
    Snapshot takeSnapshot() const;
    void restoreSnapshot(const Snapshot& snapshot);
    std::string dataPath(const std::string& relative) const { return m_services.dataFolder + "/" + relative; }

    Services m_services;
    engine::SessionEngine& m_engine;
    // What the panel has loaded; the engine holds it from the end of every load.
    engine::SessionSetUp m_loaded;
    ParameterTable m_paramTable;
    bool m_loadedAtStartUp = false;
    int m_handlerDepth = 0;
    // While start-up lists the subjects, the summary read for the first is reused for the others instead
    // of being read once per subject.
    bool m_listing = false;
    std::shared_ptr<const records::SummaryEntries> m_startupSummary;
};

} // namespace veltrum::session
