// The main window crt as a model: the set-up panel, then the stimulus screen, around the session engine
// that owns the session. The window's parts each hold the controls they work with; the window itself
// holds start-up, the Start button and the operator's keys, which reach across them.
#pragma once

#include "CardChamber.h"
#include "EndedSession.h"
#include "ScheduleGrid.h"
#include "Services.h"
#include "SessionRows.h"
#include "SetupPanel.h"
#include "StimulusScreen.h"
#include "TabletLink.h"
#include "engine/SessionEngine.h"
#include "forms/Controls.h"
#include "records/SessionRecords.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::session {

// The window's controls are data (the forms library); the window models name them as their own.
using forms::CheckBox;
using forms::ComboBox;
using forms::CommandButton;
using forms::Control;
using forms::ControlArray;
using forms::ControlEvents;
using forms::ControlKind;
using forms::Geometry;
using forms::Label;
using forms::PictureBox;
using forms::Rgb;
using forms::TextBox;
using forms::Window;

using engine::SessionEndTrigger;
using engine::SessionState;

// Controls of the window (design text in quotes; hidden ones are not shown when the window opens), by
// the part of the window that holds them:
//
// | Part     | Control          | Kind          | Design                          | Shows or does           |
// |----------|------------------|---------------|---------------------------------|-------------------------|
// | panel    | Subject_In       | ComboBox      | empty                           | subjects; a pick loads  |
// |          | Command3         | CommandButton | "Enter Subject name"            | adds a typed subject    |
// |          | Combo1, Label8   | ComboBox      | "Pick Phase"; the phases        | phases; a pick loads    |
// |          | Check1           | CheckBox      | "click to run without hardware" | hardware-free mode      |
// |          | SessionNum       | TextBox       | "1"; Label5 "Session #"         | the next session        |
// |          | Command1         | CommandButton | "Start"                         | readies the session     |
// |          | Data1            | DataControl   |                                 | summary, parameters     |
// | link     | Text1, Label9    | TextBox       | "12345"; "Port"                 | the tablet's TCP port   |
// |          | Label2, Label6   | Label         | empty, red; "iPad Connection"   | green once changed      |
// |          | TabletAddress    | Label         | empty                           | the tablet's host       |
// | screen   | Text5, Label4    | TextBox       | "C:\Images\"; "Image Directory" | picture folder          |
// |          | Label10          | Label         | "Press "E" to exit", hidden     | exit hint               |
// |          | Label7           | Label         | hidden, 24 pt bold              | session banner          |
// |          | Label1, Label3   | Label         | hidden                          | hopper state, events    |
// |          | Text2-4, Text6-8 | TextBox       | hidden, empty                   | stimulus at positions   |
// |          | Image1(1..6)     | PictureBox    | hidden                          | the six stimulus slots  |
// | schedule | MSFlexGrid1      | FlexGrid      |                                 | the session's trials    |
// | rows     | Data2, Data3     | DataControl   |                                 | session, summary books  |
//
// The trial cycle's timers (ITI, Stimulus, FI, Session_Timer, Hopper_Timer, Infrared) and the session
// state are the engine's: the window reads them through engine().
class crt final : private engine::MainWindow {
    // What the parts are built on, first of all members.
    records::WorkbookRecords m_workbookRecords;
    Services m_services;
    CardChamber m_chamber;
    // The subject held while this session runs; released after the session's rows have gone.
    std::unique_ptr<records::HeldSubject> m_claim;

public:
    explicit crt(const Services& services);
    ~crt() override;
    crt(const crt&) = delete;
    crt& operator=(const crt&) = delete;

    forms::Window Form;
    SetupPanel panel;
    StimulusScreen screen;
    SessionRows rows;
    TabletLink link;
    ScheduleGrid schedule;

    // Every control of the window, the window itself first, for a view to render.
    std::vector<forms::Control*> controls();
    // Where the controls report changes and "paint now" requests.
    void setControlEvents(forms::ControlEvents events) { m_controlEvents = std::move(events); }

    // Start-up: reads the port, listens, lays out the slots, fills the subject list and loads the last
    // subject. Throws SetupError (what failed, where, what to do); the window must not be shown then.
    void Form_Load();
    bool isLoaded() const { return m_loaded; }
    // Start button: fixes subject and phase, builds the schedule, turns the window into the stimulus
    // screen and creates the session data workbook.
    void Command1_Click();
    // The operator's keys: S begins the session, E leaves, the shaping keys go to the engine.
    void Form_KeyPress(Int16& KeyAscii);

    // The session: its state, timers and figures, read only.
    const engine::SessionEngine& engine() const { return m_engine; }
    // What happens in the session, in order, for any number of listeners.
    engine::SessionEventBus& events() { return m_engine.events(); }
    // The session's figures now, for views that show it while it runs.
    engine::SessionSnapshot snapshot() const;
    // True once Start has turned the window into the stimulus screen: a view shows it full-screen and black.
    bool showsStimulusScreen() const { return m_engine.isSetUp(); }

    // The summary window opens at most once per run; the composer of the program says how.
    void setSummaryWindowOpener(std::function<void()> opener) { m_summaryOpener = std::move(opener); }
    // The session as the summary window takes it once it has ended.
    EndedSession& endedSession();
    // The services the window was built with (its records always set), for the summary window and views.
    const Services& services() const { return m_services; }

private:
    void designLayout();
    // Refuses Start, before anything changes, when the session could not run to its end.
    void requireSessionCanStart() const;
    // Claims the subject for this session in the Results folder, asking the operator before taking
    // over a claim a crashed program left; throws SetupError when it is held or refused.
    void claimSubject(const std::string& subject);
    // The stimulus screen takes the place of the panel, with the banner for key S.
    void showStimulusScreen();
    // Key E: asks, then ends the program or the running session.
    void LeaveProgram();
    std::string dataPath(const std::string& relative) const { return m_services.dataFolder + "/" + relative; }

    // The engine's window.
    void hideWindow() override { Form.setVisible(false); }
    void showSummaryWindow() override;
    void reportFailure(const std::string& what) override;

    class Ended;
    std::unique_ptr<Ended> m_ended;
    std::function<void()> m_summaryOpener;
    bool m_summaryShown = false;
    forms::ControlEvents m_controlEvents;
    bool m_loaded = false;
    // Last of all: the parts above hold it, and it acts on them.
    engine::SessionEngine m_engine;
};

} // namespace veltrum::session
