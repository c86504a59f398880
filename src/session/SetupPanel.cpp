#include "SetupPanel.h"

#include "SettingsFile.h"
#include "SetupError.h"
#include "TextFields.h"
#include "engine/Phase.h"
#include "engine/PrintableText.h"
#include "engine/SubjectName.h"

#include <unordered_map>

namespace veltrum::session {

namespace {

// Why two names that differ only by case cannot both be subjects.
constexpr const char* caseClash = "on a shared folder that ignores case the two would share their files, "
                                  "and the summary counts their sessions as one subject's.";

} // namespace

SetupPanel::SetupPanel(const Services& services, engine::SessionEngine& engine)
    : Subject_In("Subject_In")
    , Command3("Command3")
    , Combo1("Combo1")
    , Label8("Label8")
    , Check1("Check1")
    , SessionNum("SessionNum")
    , Label5("Label5")
    , Command1("Command1")
    , Data1(services.fileSystem, "Data1")
    , m_services(services)
    , m_engine(engine) {
    // A list or box has already changed when its handler runs: the panel to go back to is the one
    // before that change.
    Subject_In.setOnClick([this] {
        runSetupHandler(&SetupPanel::Subject_In_Click, [this](Snapshot& before) {
            before.subjectIndex = Subject_In.previousListIndex();
            before.subjectText = Subject_In.previousText();
        });
    });
    Combo1.setOnClick([this] {
        runSetupHandler(&SetupPanel::Combo1_Click, [this](Snapshot& before) {
            before.phaseIndex = Combo1.previousListIndex();
            before.phaseText = Combo1.previousText();
        });
    });
    Check1.setOnClick([this] {
        runSetupHandler(&SetupPanel::Check1_Click,
                        [this](Snapshot& before) { before.hardwareFree = Check1.previousValue(); });
    });
    Command3.setOnClick([this] { runSetupHandler(&SetupPanel::Command3_Click, nullptr); });
}

void SetupPanel::loadAtStartUp() {
    struct Listing {
        SetupPanel& panel;
        ~Listing() {
            panel.m_listing = false;
            panel.m_startupSummary.reset();
        }
    } listing{*this};
    m_listing = true;
    LoadSubjectList();
    m_loaded.PhaseNumber = 1;
    LoadPhaseParameters();
    m_loadedAtStartUp = true;
}

void SetupPanel::LoadSubjectList() {
    const std::string path = dataPath("CurrentSchedule.txt");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The subject list " + path +
                         " does not exist. Create it with the subjects' names, one per line.");
    const std::vector<TextField> names = readSettingsFile(m_services.fileSystem, path, "The subject list");
    if (names.empty())
        throw SetupError("The subject list " + path + " names no subject. Write at least one name in it.");
    // Every name is checked before any parameter workbook is opened.
    std::unordered_map<std::string, const TextField*> byFoldedName;
    for (const TextField& name : names) {
        requireSafeSubjectName(name.text, path + ", line " + std::to_string(name.line));
        const auto [seen, added] = byFoldedName.emplace(engine::foldedSubjectName(name.text), &name);
        if (!added && seen->second->text != name.text)
            throw SetupError(path + ", lines " + std::to_string(seen->second->line) + " and " +
                             std::to_string(name.line) + ": the subjects \"" + printable(seen->second->text) +
                             "\" and \"" + printable(name.text) + "\" differ only by case; " + caseClash +
                             " Keep one of the two lines.");
    }
    for (const TextField& name : names) {
        Subject_In.addItem(name.text);
        Subject_In.setListIndex(Subject_In.listCount() - 1);
    }
}

void SetupPanel::requireSafeSubjectName(const std::string& name, const std::string& where) const {
    if (const std::optional<std::string> refusal = engine::subjectNameRefusal(name))
        throw SetupError(where + ": " + *refusal);
    // A name typed by hand may differ only by case from a listed subject; the list itself was checked.
    for (const std::string& listed : Subject_In.entries())
        if (listed != name && engine::sameSubjectIgnoringCase(listed, name))
            throw SetupError(where + ": the subject \"" + printable(name) +
                             "\" is refused: it differs only by case from the listed subject \"" +
                             printable(listed) + "\"; " + caseClash + " Pick \"" + printable(listed) +
                             "\" from the list, or choose another name.");
}

void SetupPanel::runSetupHandler(void (SetupPanel::*handler)(),
                                 const std::function<void(Snapshot&)>& beforeChange) {
    struct Depth {
        int& depth;
        explicit Depth(int& d)
            : depth(d) {
            ++depth;
        }
        ~Depth() { --depth; }
    };
    if (m_handlerDepth > 0 || !m_loadedAtStartUp) {
        Depth nested(m_handlerDepth);
        (this->*handler)();
        return;
    }
    Snapshot snapshot = takeSnapshot();
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
    restoreSnapshot(snapshot);
    m_services.dialogs.messageBox(failure + "\n\nSubject " + m_loaded.Subject + " stays loaded.", "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::Critical);
}

SetupPanel::Snapshot SetupPanel::takeSnapshot() const {
    Snapshot snapshot;
    snapshot.loaded = m_loaded;
    snapshot.PhaseChange = PhaseChange;
    snapshot.paramTable = m_paramTable;
    snapshot.subjects = Subject_In.entries();
    snapshot.subjectIndex = Subject_In.listIndex();
    snapshot.subjectText = Subject_In.text();
    snapshot.phaseIndex = Combo1.listIndex();
    snapshot.phaseText = Combo1.text();
    snapshot.hardwareFree = Check1.value();
    snapshot.sessionNumText = SessionNum.text();
    snapshot.data1 = Data1.binding();
    return snapshot;
}

void SetupPanel::restoreSnapshot(const Snapshot& snapshot) {
    m_loaded = snapshot.loaded;
    m_engine.load(m_loaded);
    PhaseChange = snapshot.PhaseChange;
    m_paramTable = snapshot.paramTable;
    Subject_In.restore(snapshot.subjects, snapshot.subjectIndex, snapshot.subjectText);
    Combo1.restore(Combo1.entries(), snapshot.phaseIndex, snapshot.phaseText);
    Check1.restoreValue(snapshot.hardwareFree);
    SessionNum.setText(snapshot.sessionNumText);
    Data1.restoreBinding(snapshot.data1);
}

void SetupPanel::Subject_In_Click() {
    PhaseChange = 0;
    LoadPhaseParameters();
}

void SetupPanel::Combo1_Click() {
    m_loaded.PhaseNumber = Combo1.listIndex() + 1;
    PhaseChange = 1;
    LoadPhaseParameters();
}

void SetupPanel::Check1_Click() {
    m_loaded.HardwareFree = Check1.value() == 1;
    PhaseChange = 0;
    LoadPhaseParameters();
}

void SetupPanel::Command3_Click() {
    const std::optional<std::string> name =
        m_services.dialogs.inputBox("New Participant", "Enter the participants's number:", "");
    if (!name)
        return;
    requireSafeSubjectName(*name, "New subject");
    m_loaded.Subject = *name;
    Subject_In.addItem(*name);
    Subject_In.setListIndex(Subject_In.listCount() - 1);
}

} // namespace veltrum::session
