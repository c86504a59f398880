#include "crt.h"
#include "engine/Phase.h"

#include "BitmapCheck.h"
#include "SetupError.h"
#include "Version.h"
#include "trials/Schedule.h"

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
    const std::string subject = panel.Subject_In.text();
    const std::string phase = panel.Combo1.text();
    panel.requireSafeSubjectName(subject, "Subject list");

    const SessionState& state = m_engine.state();
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
}

void crt::claimSubject(const std::string& subject) {
    const records::ClaimIdentity who = records::ClaimIdentity::ofThisProcess(
        subject, m_engine.state().SessionNumber.toString(), std::to_string(m_services.socket.localPort()),
        "veltrum " VELTRUM_VERSION);
    try {
        m_claim = m_services.records->claimSubject(dataPath("Results"), who, false);
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
        m_claim = m_services.records->claimSubject(dataPath("Results"), who, true);
    }
}

void crt::Command1_Click() {
    if (m_engine.isSetUp())
        return;
    const std::string subject = panel.Subject_In.text();
    const std::string phase = panel.Combo1.text();
    const std::string session = m_engine.state().SessionNumber.toString();
    const std::string dataFile = dataPath("Results/" + subject + "." + session + ".xls");
    std::string keptWorkbook;
    bool created = false;
    try {
        requireSessionCanStart();
        claimSubject(subject);
        trials::BuildSchedule(schedule.MSFlexGrid1, m_services.random, phase,
                              m_engine.state().TotalTrials.toInt());
        // The data workbook is created before the panel changes, so a failure leaves the panel as it was.
        keptWorkbook = m_services.records->createSessionWorkbook(dataPath("Results/Session_Template.xls"),
                                                                 dataFile, SessionRows::trialColumns());
        created = true;
        rows.open(dataFile);
    } catch (const std::exception& error) {
        if (created) {
            // No row can reach the fresh copy, which holds nothing but the template: it goes, and the
            // earlier workbook goes back under its own name.
            try {
                m_services.fileSystem.removeFile(dataFile);
                if (!keptWorkbook.empty())
                    m_services.fileSystem.moveFile(keptWorkbook, dataFile);
                keptWorkbook.clear();
            } catch (const std::exception&) {
                // Told below: the earlier session's rows are in keptWorkbook.
            }
        }
        m_claim.reset();
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
            "A workbook for session " + session + " of " + subject +
                " was already in the Results folder: an earlier session that was never saved (the program "
                "may have stopped during it). Its rows are kept in\n\n" +
                keptWorkbook + "\n\nThis session writes a fresh " + dataFile + ".",
            "", platform::MessageButtons::Ok, platform::MessageIcon::Information);
    m_engine.setUp(subject, phase, dataFile);
    showStimulusScreen();
}

void crt::showStimulusScreen() {
    if (panel.Subject_In.text() == "Benchcheck") {
        screen.Label1.setVisible(true);
        screen.Label3.setVisible(true);
        screen.Label10.setVisible(true);
    }
    for (forms::Control* control : std::initializer_list<forms::Control*>{
             &panel.Command1, &panel.Combo1, &panel.Check1, &panel.Subject_In, &panel.Command3,
             &screen.Label4, &panel.Label5, &link.Label6, &link.Label9, &screen.Text5, &link.Label2,
             &panel.SessionNum, &link.TabletAddress})
        control->setVisible(false);
    const SessionState& state = m_engine.state();
    screen.Label7.setCaption("Press \"S\" to start session\r\nSubject is " + state.Subject +
                             "\r\nSession = " + state.SessionNumber.toString());
    screen.Label7.setVisible(true);
    panel.Label8.setVisible(false);
    link.Text1.setVisible(false);
    screen.clearPositionBoxes();
    link.SendDisplayMessage();
}

} // namespace veltrum::session
