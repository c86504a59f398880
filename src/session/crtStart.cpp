#include "crt.h"
#include "engine/Phase.h"

#include "BitmapCheck.h"
#include "SetupError.h"
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

std::string crt::keptWorkbookName(const std::string& dataFile) const {
    const std::string stem = dataFile.substr(0, dataFile.size() - 4);
    for (int copy = 1;; ++copy) {
        const std::string name =
            stem + ".not-saved" + (copy == 1 ? std::string() : "-" + std::to_string(copy)) + ".xls";
        if (!m_services.fileSystem.exists(name))
            return name;
    }
}

// The session's workbook is made under a hidden name and put in place only once every check has passed,
// so a refused Start leaves nothing behind; a workbook already under the session's name holds the rows
// of a session that was never saved and is kept under a name of its own, never overwritten.
std::string crt::createSessionWorkbook(const std::string& dataFile) {
    const std::size_t cut = dataFile.rfind('/') + 1;
    const std::string staging = dataFile.substr(0, cut) + "." + dataFile.substr(cut) + ".new";
    platform::FileSystem& files = m_services.fileSystem;
    std::string kept;
    try {
        files.copyFile(dataPath("Results/Session_Template.xls"), staging);
        // Rows an earlier run committed to its journal go into the earlier workbook before it is kept.
        const records::JournalRecovery recovered = records::recoverJournal(dataFile);
        if (!recovered.problem.empty())
            throw std::runtime_error(recovered.problem);
        if (files.exists(dataFile)) {
            kept = keptWorkbookName(dataFile);
            files.moveFile(dataFile, kept);
        }
        files.moveFile(staging, dataFile);
    } catch (const std::exception& error) {
        try {
            if (files.exists(staging))
                files.removeFile(staging);
            if (!kept.empty() && !files.exists(dataFile))
                files.moveFile(kept, dataFile);
        } catch (const std::exception&) {
            // The earlier session's rows stay where they were moved; the operator must learn where.
            if (!kept.empty())
                throw std::runtime_error(std::string(error.what()) +
                                         " The earlier workbook of this session is kept as " + kept + ".");
        }
        throw;
    }
    return kept;
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
        state.Subject = Subject_In.text();
        state.PhaseDescription = Combo1.text();
        BuildSchedule();
        // The data workbook is created before the panel changes, so a failure leaves the panel as it was.
        state.NewDataFile =
            dataPath("Results/" + state.Subject + "." + state.SessionNumber.toString() + ".xls");
        keptWorkbook = createSessionWorkbook(state.NewDataFile);
        created = true;
        Data2.setConnect("Excel 8.0;");
        Data2.setDatabaseName(state.NewDataFile);
        Data2.setRecordSource("Data$");
        Data2.refresh();
        m_rows.open(std::make_shared<records::JournalledRowSink>(state.NewDataFile));
    } catch (const std::exception& error) {
        if (created) {
            // The fresh copy would not open: the earlier workbook goes back under its own name.
            try {
                m_services.fileSystem.removeFile(state.NewDataFile);
                if (!keptWorkbook.empty())
                    m_services.fileSystem.moveFile(keptWorkbook, state.NewDataFile);
                keptWorkbook.clear();
            } catch (const std::exception&) {
                // Told below: the earlier session's rows are in keptWorkbook.
            }
        }
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
