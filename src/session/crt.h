// The main window crt as a model: its controls, data components and handlers, and the session engine it
// owns (the trial cycle, its timers and the session state).
#pragma once

#include "DataControl.h"
#include "EndedSession.h"
#include "Services.h"
#include "devices/TouchParser.h"
#include "engine/SessionEngine.h"
#include "engine/SessionEvents.h"
#include "engine/SessionSnapshot.h"
#include "forms/Controls.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/IoCard.h"
#include "platform/ProgramLifetime.h"
#include "platform/RandomSource.h"
#include "platform/Scheduler.h"
#include "platform/TabletSocket.h"
#include "platform/Timer.h"
#include "records/CommitRunner.h"
#include "records/RowJournal.h"
#include "records/RowWriter.h"
#include "session/CardChamber.h"
#include "trials/FlexGrid.h"
#include "workbook/Appender.h"
#include "workbook/Cell.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrum::session {

// The window's controls are data (the forms library); the window model names them as its own.
using forms::CheckBox;
using forms::ComboBox;
using forms::CommandButton;
using forms::Control;
using forms::ControlArray;
using forms::ControlEvents;
using forms::ControlKind;
using forms::Font;
using forms::Geometry;
using forms::Label;
using forms::PictureBox;
using forms::Rgb;
using forms::TextBox;
using forms::Window;

using engine::SessionEndTrigger;
using engine::SessionState;
using forms::Int16;
using forms::OverflowError;

// Controls of the window (design text in quotes; hidden ones are not shown when the window opens):
//
// | Control              | Kind          | Design                           | Shows or does               |
// |----------------------|---------------|----------------------------------|-----------------------------|
// | Subject_In           | ComboBox      | empty                            | subjects; a pick reloads    |
// | Command3             | CommandButton | "Enter Subject name"             | adds a typed subject        |
// | Combo1               | ComboBox      | "Pick Phase"; the four phases    | phases; a pick reloads      |
// | Label8               | Label         | "Phase"                          | caption of Combo1           |
// | Check1               | CheckBox      | "click to run without hardware"  | hardware-free mode          |
// | SessionNum           | TextBox       | "1"                              | next session of the subject |
// | Label5               | Label         | "Session #"                      | caption of SessionNum       |
// | Text1                | TextBox       | "12345"                          | TCP port for the tablet     |
// | Label9               | Label         | "Port"                           | caption of Text1            |
// | Text5                | TextBox       | "C:\Images\" until start-up      | picture folder              |
// | Label4               | Label         | "Image Directory"                | caption of Text5            |
// | Label6               | Label         | "iPad Connection"                | caption of Label2           |
// | Label2               | Label         | empty, red                       | link; green once changed    |
// | TabletAddress        | Label         | empty                            | the connected tablet's host |
// | Command1             | CommandButton | "Start"                          | readies the session         |
// | Label10              | Label         | "Press "E" to exit", hidden      | exit hint                   |
// | Label7               | Label         | hidden, 24 pt bold               | session banner              |
// | Label1, Label3       | Label         | hidden                           | hopper state, events        |
// | Text2-4, Text6-8     | TextBox       | hidden, empty                    | stimulus at positions 1..6  |
// | Image1(1..6)         | PictureBox    | hidden                           | the six stimulus slots      |
// | Data1, Data2, Data3  | DataControl   |                                  | workbooks as tables         |
// | ITI, Stimulus, FI    | Timer         | 1000, 1000, 0 ms, disabled       | trial cycle                 |
// | Session_Timer        | Timer         | 60000 ms, disabled               | session minutes             |
// | Hopper_Timer         | Timer         | 4000 ms, disabled                | food period                 |
// | Infrared             | Timer         | 100 ms, disabled                 | head-entry polling          |
//
// The trial cycle, its timers and the session state belong to the session engine; the window owns it,
// forwards its handlers to it under their own names, and is its display, schedule, records and panel.
class crt : private engine::Display,
            private engine::Schedule,
            private engine::TrialRecords,
            private engine::Panel {
    // First of all members: the timers below are the engine's.
    CardChamber m_chamber;
    engine::SessionEngine m_engine;

public:
    explicit crt(const Services& services);
    ~crt();
    crt(const crt&) = delete;
    crt& operator=(const crt&) = delete;

    Window Form;
    ComboBox Subject_In;
    CommandButton Command3;
    ComboBox Combo1;
    Label Label8;
    CheckBox Check1;
    TextBox SessionNum;
    Label Label5;
    TextBox Text1;
    Label Label9;
    TextBox Text5;
    Label Label4;
    Label Label6;
    Label Label2;
    Label TabletAddress;
    CommandButton Command1;
    Label Label10;
    Label Label7;
    Label Label1;
    Label Label3;
    TextBox Text2;
    TextBox Text3;
    TextBox Text4;
    TextBox Text6;
    TextBox Text7;
    TextBox Text8;
    ControlArray<PictureBox> Image1;
    trials::FlexGrid MSFlexGrid1;

    DataControl Data1;
    DataControl Data2;
    DataControl Data3;

    platform::Timer& ITI;
    platform::Timer& Stimulus;
    platform::Timer& FI;
    platform::Timer& Session_Timer;
    platform::Timer& Hopper_Timer;
    platform::Timer& Infrared;

    // Every control of the window, the window itself first, for a view to render.
    std::vector<Control*> controls();
    // Where the controls report changes and "paint now" requests.
    void setControlEvents(ControlEvents events) { m_controlEvents = std::move(events); }

    // Start-up: reads the port, listens, lays out the slots, fills the subject list and loads the last
    // subject. Throws SetupError (what failed, where, what to do); the window must not be shown then.
    void Form_Load();

    // Handlers of the set-up panel. Run from the operator after start-up, a failure is shown in a message
    // box and the panel goes back to how it was before the handler ran.
    void Subject_In_Click();
    void Combo1_Click();
    void Check1_Click();
    void Command3_Click();
    void Label2_Change();

    // Start button: fixes subject and phase, builds the schedule, turns the window into the stimulus
    // screen and creates the session data workbook.
    void Command1_Click();

    // Trial cycle and stimulus display: the engine's.
    void EndTrial() { m_engine.EndTrial(); }
    void BeginTrial() { m_engine.BeginTrial(); }
    void EndSession(SessionEndTrigger trigger) { m_engine.EndSession(trigger); }
    void ITI_Timer() { m_engine.ITI_Timer(); }
    void Stimulus_Timer() { m_engine.Stimulus_Timer(); }
    void FI_Timer() { m_engine.FI_Timer(); }
    void Session_Timer_Timer() { m_engine.Session_Timer_Timer(); }
    void StimulusOn() { m_engine.StimulusOn(); }
    void StimulusOff() { m_engine.StimulusOff(); }

    // Hopper and head-entry sensor on the I/O card: the engine's.
    void HopperUp() { m_engine.HopperUp(); }
    void HopperDown() { m_engine.HopperDown(); }
    void InterTrialOutputOn() { m_engine.InterTrialOutputOn(); }
    void OutputsOff() { m_engine.OutputsOff(); }
    void Hopper_Timer_Timer() { m_engine.Hopper_Timer_Timer(); }
    void Infrared_Timer() { m_engine.Infrared_Timer(); }

    // Touches, scoring and the tablet link.
    void Image1_MouseDown(int index);
    void ScoreResponse(Int16& ScreenIndex, Int16& TabletPosition) {
        m_engine.ScoreResponse(ScreenIndex, TabletPosition);
    }
    void Winsock1_ConnectionRequest(std::int32_t requestID);
    void Winsock1_DataArrival();
    void Winsock1_Close();
    void Winsock1_Error(std::int16_t number, const std::string& description);

    // The operator's keys.
    void Form_KeyPress(Int16& KeyAscii);

    // One row of the session data workbook for a touch or a timeout.
    void RecordTrial(Int16 ScreenIndex, Int16 TabletPosition);

    // The summary window opens at most once per run; the composer of the program says how.
    void setSummaryWindowOpener(std::function<void()> opener) { m_summaryOpener = std::move(opener); }

    // The data folder, and a path inside it ("Parameters/B1.xls").
    const std::string& dataFolder() const { return m_services.dataFolder; }
    std::string dataPath(std::string_view relative) const;
    bool isLoaded() const { return m_loaded; }
    // The local port the tablet socket was bound to at start-up; it identifies the chamber.
    std::int32_t listeningPort() const { return m_services.socket.localPort(); }

    // The services the window was built with, for the summary window.
    const Services& services() const { return m_services; }

    // What happens in the session, in order, for any number of listeners.
    engine::SessionEventBus& events() { return m_engine.events(); }
    // The session's figures now, for views that show it while it runs.
    engine::SessionSnapshot snapshot() const;

    // The whole session state, read only.
    const SessionState& sessionState() const { return m_engine.state(); }

    // Running a session: the stimulus-screen mark, rows waiting to be written and the handler guard.
    // True once Start has turned the window into the stimulus screen: a view shows it full-screen and black.
    bool stimulusScreen = false;
    // Trial rows not yet in the session workbook: handed to the row writer and not yet committed (waiting
    // after a failure, or being written), or committed to the journal and not yet brought into it.
    std::size_t pendingRowCount() const { return m_rows.waiting() + m_rows.behind(); }
    std::size_t committedRowCount() const { return m_rows.committed(); }
    const std::string& rowFailure() const { return m_rowFailure; }
    void retryWaitingRows();
    // Runs on this thread (used once the session is over).
    bool settleWaitingRows();
    // The recovery file goes to the first folder that takes it (the Results folder, the data folder, the
    // home folder, then the system's temporary folders); the rows then no longer wait. Throws
    // std::runtime_error when no folder takes the file: the rows still wait.
    std::string moveWaitingRowsToRecoveryFile();
    // Called after every commit of the row writer (rows committed or failed, the workbook brought up to
    // date).
    void setRowsChanged(std::function<void()> changed) { m_rowsChanged = std::move(changed); }
    // The session's rows are given up with its workbook: nothing waits, and no journal brings them back.
    void discardWaitingRows() { m_rows.takeWaiting(); }

    // The session as the summary window takes it once it has ended.
    EndedSession& endedSession();
    // Folders tried by moveWaitingRowsToRecoveryFile instead of the usual ones.
    void setRecoveryFolders(std::vector<std::string> folders) { m_recoveryFolders = std::move(folders); }
    // True once the session has ended, by its own end or by the operator leaving it.
    bool sessionEnded() const { return m_engine.hasEnded(); }

private:
    // Steps of start-up and of Start.
    void LoadSubjectList();
    void LoadPhaseParameters();
    void LayOutStimuli();
    void StartListening();
    void BuildSchedule();
    // Sends the six position boxes to the tablet as one message, while it is connected.
    void SendDisplayMessage();
    // A host that may not be the tablet tried to connect and was turned away: counted, and told in a
    // notice at most once every refusalNoticeEveryMs.
    void tabletRefused(const std::string& address);
    void showRefusalNotice();
    // A notice about the tablet link; rows waiting to be written stay told in it.
    void showLinkNotice(const std::string& text);
    // The tablet caption while no tablet is connected: where the port is open.
    std::string listeningCaption() const;
    // Keys S and E.
    void BeginSession();
    void LeaveProgram();
    void ShowSummaryWindow();

    // Copy of the parameter sheet, (column, data row). An entry never filled is nullopt and reads as 0;
    // a filled entry keeps the cell as the workbook holds it, blank cells included.
    using ParameterTable = std::array<std::array<std::optional<workbook::Cell>, 15>, 15>;

    // What a set-up handler may change, kept to put the panel back when the handler fails.
    struct SetupSnapshot {
        SessionState state;
        std::vector<std::string> subjects;
        int subjectIndex = -1;
        std::string subjectText;
        int phaseIndex = -1;
        std::string phaseText;
        int hardwareFree = 0;
        std::string sessionNumText;
        std::int32_t hopperInterval = 0;
        std::int32_t fixedInterval = 0;
        DataControl::Binding data1;
        ParameterTable paramTable;
    };

    void designLayout();
    void connectSetupHandlers();
    // Each subsystem connects its own timer, socket and picture handlers (defined beside them).
    void connectTrialHandlers();
    void connectTabletHandlers();
    // Runs a set-up handler: nested or during start-up it simply runs; from the operator a failure
    // restores the panel and is reported in a message box.
    // beforeChange corrects the snapshot for the control whose change started the handler.
    void runSetupHandler(void (crt::*handler)(), const std::function<void(SetupSnapshot&)>& beforeChange);
    SetupSnapshot takeSetupSnapshot() const;
    void restoreSetupSnapshot(const SetupSnapshot& snapshot);

    // Where the session's records are kept: the services' own, or the workbooks in the data folder.
    records::SessionRecords& records() {
        return m_services.records ? *m_services.records : m_workbookRecords;
    }

    void readPortFile();
    void readTabletAddresses();
    // Brings into their workbooks the rows that journals of earlier runs hold and the workbooks lack.
    void recoverRowJournals();
    void lookUpSummary();
    // The subject's highest session number and the phase of its last row in the summary's entries.
    void findLastSession(const records::SummaryEntries& entries, const std::string& path);
    void readParameterTable();
    void applyPhaseParameters();
    Int16 parameterInt16(int row, const char* name) const;
    std::string parameterCellName(int column, int row, const char* name) const;
    void requireSafeSubjectName(const std::string& name, const std::string& where) const;

    // Running a session (defined beside the trial cycle, Start and RecordTrial).
    // A key's or a timer's handler failed: shown to the operator, and the session carries on.
    void reportSessionFailure(const std::string& what);
    // Refuses Start, before anything changes, when the session could not run to its end.
    void requireSessionCanStart() const;
    void requireUsableTemplate() const;
    // Claims the subject for this session in the Results folder, asking the operator before taking
    // over a claim a crashed program left; throws SetupError when it is held or refused.
    void claimSubject(const std::string& subject);
    // The thirteen columns of a trial row, in the order they are assigned.
    static const std::vector<std::string>& trialColumns();
    // The row writer's reports: rows committed, a commit failed.
    void rowsCommitted(std::size_t count);
    void rowsFailed(const std::string& why);
    void showWaitingRowsNotice();
    std::string waitingRowsText() const;
    workbook::AppendRow trialRow(Int16 ScreenIndex, Int16 TabletPosition) const;
    std::string m_rowFailure;
    std::function<void()> m_rowsChanged;
    std::int64_t m_lastTabletMessageAtMs = -1;
    std::vector<std::string> m_recoveryFolders;

    Services m_services;
    records::WorkbookRecords m_workbookRecords;
    // The subject held while this session runs; released after the row writer has finished.
    std::unique_ptr<records::HeldSubject> m_claim;
    class Ended;
    std::unique_ptr<Ended> m_ended;
    records::InlineCommitRunner m_inlineCommits;
    records::RowWriter m_rows;
    SessionState& state; // the engine's
    ParameterTable m_paramTable;
    ControlEvents m_controlEvents;
    bool m_loaded = false;
    // While Form_Load lists the subjects, the summary workbook read for the first is reused for the
    // others instead of being read once per subject.
    bool m_loading = false;
    std::shared_ptr<const records::SummaryEntries> m_startupSummary;
    int m_handlerDepth = 0;
    // Bytes of a tablet touch not yet ended, carried from one arrival to the next; fresh per connection.
    devices::TouchStream m_touchStream;
    // No tablet address named: the port is open to this computer only.
    bool m_tabletLoopbackOnly = true;
    // Refused connections since the last notice about them; a few addresses are named, the rest counted.
    static constexpr std::int64_t refusalNoticeEveryMs = 10'000;
    static constexpr std::size_t refusalAddressesNamed = 5;
    struct Refusals {
        std::vector<std::pair<std::string, std::uint64_t>> named;
        std::uint64_t others = 0;
        std::uint64_t total = 0;
    } m_refusals;
    std::int64_t m_lastRefusalNoticeMs = -1;
    platform::Scheduler::TaskId m_refusalNoticeTask = 0;
    std::function<void()> m_summaryOpener;
    bool m_summaryShown = false;

    // The six position boxes, positions 1 to 6 in order: the only source of the display message.
    std::array<TextBox*, 6> positionBoxes() { return {&Text2, &Text3, &Text4, &Text6, &Text7, &Text8}; }
    std::array<const TextBox*, 6> positionBoxes() const {
        return {&Text2, &Text3, &Text4, &Text6, &Text7, &Text8};
    }
    // Every position box set to "0": nothing shown.
    void clearPositionBoxes();

    // The engine's display: the slots Image1(1..6), the position boxes and the tablet's link.
    void showPicture(int slot, const std::string& path) override;
    void hidePicture(int slot) override;
    void setPositionTexts(const std::array<std::string, 6>& texts) override;
    void sendDisplayMessage() override { SendDisplayMessage(); }
    bool closeLink() override;
    // The engine's schedule: MSFlexGrid1.
    std::optional<engine::ScheduleRow> scheduleRow(int n) const override;
    // The engine's records: RecordTrial and the row writer.
    void recordTrial(Int16 ScreenIndex, Int16 TabletPosition) override {
        RecordTrial(ScreenIndex, TabletPosition);
    }
    std::size_t rowsWaiting() const override { return m_rows.waiting(); }
    void retryRows() override { m_rows.retry(); }
    // The engine's panel: Label1, Label3, the window and the summary window.
    void showHopperWords(std::string_view words) override;
    void showOutcomeWords(std::string_view words) override;
    void hideWindow() override { Form.setVisible(false); }
    void openSummary() override { ShowSummaryWindow(); }
    void reportFailure(const std::string& what) override { reportSessionFailure(what); }
};

} // namespace veltrum::session
