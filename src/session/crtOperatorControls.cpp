#include "crt.h"

#include "SetupError.h"

namespace veltrum::session {

void crt::connectSetupHandlers() {
    // A list or box has already changed when its handler runs: the panel to go back to is the one
    // before that change.
    Subject_In.setOnClick([this] {
        runSetupHandler(&crt::Subject_In_Click, [this](SetupSnapshot& before) {
            before.subjectIndex = Subject_In.previousListIndex();
            before.subjectText = Subject_In.previousText();
        });
    });
    Combo1.setOnClick([this] {
        runSetupHandler(&crt::Combo1_Click, [this](SetupSnapshot& before) {
            before.phaseIndex = Combo1.previousListIndex();
            before.phaseText = Combo1.previousText();
        });
    });
    Check1.setOnClick([this] {
        runSetupHandler(&crt::Check1_Click,
                        [this](SetupSnapshot& before) { before.hardwareFree = Check1.previousValue(); });
    });
    Command3.setOnClick([this] { runSetupHandler(&crt::Command3_Click, nullptr); });
    Label2.setOnChange([this] { Label2_Change(); });
}

void crt::runSetupHandler(void (crt::*handler)(), const std::function<void(SetupSnapshot&)>& beforeChange) {
    struct Depth {
        int& depth;
        explicit Depth(int& d)
            : depth(d) {
            ++depth;
        }
        ~Depth() { --depth; }
    };
    if (m_handlerDepth > 0 || !m_loaded) {
        Depth nested(m_handlerDepth);
        (this->*handler)();
        return;
    }
    SetupSnapshot snapshot = takeSetupSnapshot();
    if (beforeChange)
        beforeChange(snapshot);
    std::string failure;
    try {
        Depth outer(m_handlerDepth);
        (this->*handler)();
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    restoreSetupSnapshot(snapshot);
    m_services.dialogs.messageBox(failure + "\n\nSubject " + state.Subject + " stays loaded.", "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::Critical);
}

crt::SetupSnapshot crt::takeSetupSnapshot() const {
    SetupSnapshot snapshot;
    snapshot.state = state;
    snapshot.paramTable = m_paramTable;
    snapshot.subjects = Subject_In.entries();
    snapshot.subjectIndex = Subject_In.listIndex();
    snapshot.subjectText = Subject_In.text();
    snapshot.phaseIndex = Combo1.listIndex();
    snapshot.phaseText = Combo1.text();
    snapshot.hardwareFree = Check1.value();
    snapshot.sessionNumText = SessionNum.text();
    snapshot.hopperInterval = Hopper_Timer.interval();
    snapshot.fixedInterval = FI.interval();
    snapshot.data1 = Data1.binding();
    return snapshot;
}

void crt::restoreSetupSnapshot(const SetupSnapshot& snapshot) {
    state = snapshot.state;
    m_paramTable = snapshot.paramTable;
    Subject_In.restore(snapshot.subjects, snapshot.subjectIndex, snapshot.subjectText);
    Combo1.restore(Combo1.entries(), snapshot.phaseIndex, snapshot.phaseText);
    Check1.restoreValue(snapshot.hardwareFree);
    SessionNum.setText(snapshot.sessionNumText);
    Hopper_Timer.setInterval(snapshot.hopperInterval);
    FI.setInterval(snapshot.fixedInterval);
    Data1.restoreBinding(snapshot.data1);
}

void crt::Subject_In_Click() {
    state.PhaseChange = 0;
    LoadPhaseParameters();
}

void crt::Combo1_Click() {
    state.PhaseNumber = Combo1.listIndex() + 1;
    state.PhaseChange = 1;
    LoadPhaseParameters();
}

void crt::Check1_Click() {
    state.HardwareFree = Check1.value() == 1;
    state.PhaseChange = 0;
    LoadPhaseParameters();
}

void crt::Command3_Click() {
    const std::optional<std::string> name =
        m_services.dialogs.inputBox("New Participant", "Enter the participants's number:", "");
    if (!name)
        return;
    requireSafeSubjectName(*name, "New subject");
    state.Subject = *name;
    Subject_In.addItem(*name);
    Subject_In.setListIndex(Subject_In.listCount() - 1);
}

void crt::Label2_Change() {
    Label2.setBackground(Rgb{0, 255, 0});
}

} // namespace veltrum::session
