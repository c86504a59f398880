#include "crt.h"
#include "engine/Phase.h"

#include "BitmapCheck.h"
#include "SetupError.h"
#include "Version.h"
#include "trials/Schedule.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <exception>
#include <optional>
#include <stdexcept>

namespace veltrum::session {

namespace {

// The pictures a phase shows; a name that is no phase shows none.
std::vector<int> phasePictures(const std::string& phase) {
    const engine::PhaseRules* rules = engine::phaseNamed(phase);
    return rules ? rules->pictures : std::vector<int>{};
}

// A picture file larger than this is refused before it is read.
constexpr std::size_t MaxPictureFileBytes = 4 * std::size_t{MaxPictureSide} * MaxPictureSide + 4096;

} // namespace

void crt::requireSessionCanStart() const {
    const std::string subject = Subject_In.text();
    const std::string phase = Combo1.text();
    requireSafeSubjectName(subject, "Subject list");

    const int trials = state.TotalTrials.toInt();
    const std::size_t rows = trials::scheduleEntries(phase, trials).size();
    if (trials > trials::MaxScheduledTrials || rows > static_cast<std::size_t>(trials::MaxScheduledTrials))
        throw SetupError("Phase " + phase + " of subject " + subject + " asks for " + std::to_string(trials) +
                         " trials, which makes " + std::to_string(rows) +
                         " schedule rows; a session holds at most " +
                         std::to_string(trials::MaxScheduledTrials) +
                         ". Lower the trial count in the subject's parameter workbook.");

    for (int picture : phasePictures(phase)) {
        const std::string& path = state.StimPicture[static_cast<std::size_t>(picture)];
        std::optional<std::string> problem;
        try {
            problem = bitmapProblem(m_services.fileSystem.readText(path, MaxPictureFileBytes));
        } catch (const std::exception& error) {
            problem = error.what();
        }
        if (problem)
            throw SetupError("The picture " + path + " of phase " + phase + " cannot be shown: " + *problem +
                             ". Put the picture files 1.bmp to 7.bmp (Windows bitmaps) in the image folder.");
    }
    requireUsableTemplate();
}

void crt::requireUsableTemplate() const {
    const std::string templatePath = dataPath("Results/Session_Template.xls");
    if (!m_services.fileSystem.exists(templatePath))
        throw SetupError("The session template " + templatePath +
                         " does not exist. Put Session_Template.xls (sheet Data) in the Results folder.");
    std::vector<std::string> missing;
    try {
        const std::string bytes = m_services.fileSystem.readText(templatePath);
        const workbook::Workbook book = workbook::Workbook::fromBytes(
            std::vector<std::uint8_t>(bytes.begin(), bytes.end()), templatePath);
        const workbook::Table data(book, "Data");
        for (const std::string& column : trialColumns())
            if (data.findColumn(column) < 0)
                missing.push_back(column);
    } catch (const std::exception& error) {
        throw SetupError("The session template cannot be used: " + std::string(error.what()) +
                         " Put a copy of a working Session_Template.xls (sheet Data) in the Results folder.");
    }
    if (!missing.empty()) {
        std::string names;
        for (const std::string& column : missing)
            names += (names.empty() ? "\"" : ", \"") + column + "\"";
        throw SetupError("The session template " + templatePath + " lacks the column" +
                         (missing.size() == 1 ? " " : "s ") + names +
                         " in the first row of its sheet Data, so no trial row could be written. Correct the "
                         "header row and press Start again.");
    }
}

void crt::claimSubject(const std::string& subject) {
    const records::ClaimIdentity who = records::ClaimIdentity::ofThisProcess(
        subject, state.SessionNumber.toString(), std::to_string(listeningPort()), "veltrum " VELTRUM_VERSION);
    try {
        m_claim = records().claimSubject(dataPath("Results"), who, false);
    } catch (const records::SubjectHeld& held) {
        if (!held.found().left || held.found().foreign)
            throw SetupError(std::string(held.what()) +
                             " Two sessions of one subject at once would mix their "
                             "rows: pick another subject, or end that session first.");
        const platform::MessageAnswer answer = m_services.dialogs.messageBox(
            std::string(held.what()) + "\n\nIf no session of " + subject +
                " is running anywhere, take the subject over for this session?",
            "", platform::MessageButtons::YesNo, platform::MessageIcon::Question);
        if (answer != platform::MessageAnswer::Yes)
            throw SetupError("Subject " + subject + " was left to the claim found in the Results folder.");
        m_claim = records().claimSubject(dataPath("Results"), who, true);
    }
}

void crt::Command1_Click() {
    if (m_engine.isSetUp())
        return;
    const std::string subjectBefore = state.Subject;
    const std::string phaseBefore = state.PhaseDescription;
    const std::string dataFileBefore = state.NewDataFile;
    std::string keptWorkbook;
    bool created = false;
    try {
        requireSessionCanStart();
        claimSubject(Subject_In.text());
        state.Subject = Subject_In.text();
        state.PhaseDescription = Combo1.text();
        BuildSchedule();
        // The data workbook is created before the panel changes, so a failure leaves the panel as it was.
        state.NewDataFile =
            dataPath("Results/" + state.Subject + "." + state.SessionNumber.toString() + ".xls");
        keptWorkbook =
            records().createSessionWorkbook(dataPath("Results/Session_Template.xls"), state.NewDataFile);
        created = true;
        Data2.setDatabaseName(state.NewDataFile);
        Data2.setRecordSource("Data$");
        m_rows.open(records().trialRows(state.NewDataFile));
    } catch (const std::exception& error) {
        if (created) {
            // No row can reach the fresh copy, which holds nothing but the template: it goes, and the
            // earlier workbook goes back under its own name.
            try {
                m_services.fileSystem.removeFile(state.NewDataFile);
                if (!keptWorkbook.empty())
                    m_services.fileSystem.moveFile(keptWorkbook, state.NewDataFile);
                keptWorkbook.clear();
            } catch (const std::exception&) {
                // Told below: the earlier session's rows are in keptWorkbook.
            }
        }
        m_claim.reset();
        state.Subject = subjectBefore;
        state.PhaseDescription = phaseBefore;
        state.NewDataFile = dataFileBefore;
        std::string text = std::string(error.what()) + "\n\nThe session was not set up.";
        if (created && !keptWorkbook.empty())
            text += " The rows of the earlier session are kept in " + keptWorkbook + ".";
        m_services.dialogs.messageBox(text, "", platform::MessageButtons::Ok,
                                      platform::MessageIcon::Critical);
        return;
    }
    // Told while the panel is still up, so the box is not hidden behind the stimulus screen.
    if (!keptWorkbook.empty())
        m_services.dialogs.messageBox(
            "A workbook for session " + state.SessionNumber.toString() + " of " + state.Subject +
                " was already in the Results folder: an earlier session that was never saved (the program "
                "may "
                "have stopped during it). Its rows are kept in\n\n" +
                keptWorkbook + "\n\nThis session writes a fresh " + state.NewDataFile + ".",
            "", platform::MessageButtons::Ok, platform::MessageIcon::Information);
    m_engine.setUp();
    stimulusScreen = true;

    if (Subject_In.text() == "Benchcheck") {
        Label1.setVisible(true);
        Label3.setVisible(true);
        Label10.setVisible(true);
    }
    for (Control* control : std::initializer_list<Control*>{&Command1, &Combo1, &Check1, &Subject_In,
                                                            &Command3, &Label4, &Label5, &Label6, &Label9,
                                                            &Text5, &Label2, &SessionNum, &TabletAddress})
        control->setVisible(false);
    Label7.setCaption("Press \"S\" to start session\r\nSubject is " + state.Subject +
                      "\r\nSession = " + state.SessionNumber.toString());
    Label7.setVisible(true);
    Label8.setVisible(false);
    Text1.setVisible(false);
    clearPositionBoxes();
    SendDisplayMessage();
}

} // namespace veltrum::session
