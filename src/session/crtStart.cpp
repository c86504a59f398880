#include "crt.h"

#include "SetupError.h"
#include "trials/Schedule.h"

#include <exception>

namespace veltrum::session {

namespace {

// The pictures a phase shows: "Auto" the autoshaping picture 7, the discriminations 1 to 6.
std::vector<int> phasePictures(const std::string& phase) {
    if (phase == "Auto")
        return {7};
    if (phase == "SuccDisc" || phase == "SimDisc")
        return {1, 2, 3, 4, 5, 6};
    return {};
}

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
        std::string bytes;
        try {
            if (m_services.fileSystem.exists(path))
                bytes = m_services.fileSystem.readText(path);
        } catch (const std::exception&) {
            bytes.clear();
        }
        // A bitmap file starts with "BM"; anything else cannot be shown in a picture slot.
        if (bytes.size() < 2 || bytes.compare(0, 2, "BM") != 0)
            throw SetupError("The picture " + path + " of phase " + phase +
                             " is missing or is not a bitmap. Put the picture files 1.bmp to 7.bmp in the "
                             "image folder.");
    }

    const std::string templatePath = dataPath("Results/Session_Template.xls");
    if (!m_services.fileSystem.exists(templatePath))
        throw SetupError("The session template " + templatePath +
                         " does not exist. Put Session_Template.xls (sheet Data) in the Results folder.");
}

void crt::Command1_Click() {
    if (m_sessionSetUp)
        return;
    const std::string subjectBefore = state.Subject;
    const std::string phaseBefore = state.PhaseDescription;
    const std::string dataFileBefore = state.NewDataFile;
    try {
        requireSessionCanStart();
        state.Subject = Subject_In.text();
        state.PhaseDescription = Combo1.text();
        BuildSchedule();
        // The data workbook is created before the panel changes, so a failure leaves the panel as it was.
        state.NewDataFile =
            dataPath("Results/" + state.Subject + "." + state.SessionNumber.toString() + ".xls");
        m_services.fileSystem.copyFile(dataPath("Results/Session_Template.xls"), state.NewDataFile);
        Data2.setConnect("Excel 8.0;");
        Data2.setDatabaseName(state.NewDataFile);
        Data2.setRecordSource("Data$");
        Data2.refresh();
    } catch (const std::exception& error) {
        state.Subject = subjectBefore;
        state.PhaseDescription = phaseBefore;
        state.NewDataFile = dataFileBefore;
        m_services.dialogs.messageBox(std::string(error.what()) + "\n\nThe session was not set up.", "",
                                      platform::MessageButtons::Ok, platform::MessageIcon::Critical);
        return;
    }
    m_sessionSetUp = true;
    stimulusScreen = true;

    if (Subject_In.text() == "Benchcheck") {
        Label1.setVisible(true);
        Label3.setVisible(true);
        Label10.setVisible(true);
    }
    for (Control* control :
         std::initializer_list<Control*>{&Command1, &Combo1, &Check1, &Subject_In, &Command3, &Label4,
                                         &Label5, &Label6, &Label9, &Text5, &Label2, &SessionNum})
        control->setVisible(false);
    Label7.setCaption("Press \"S\" to start session\r\nSubject is " + state.Subject +
                      "\r\nSession = " + state.SessionNumber.toString());
    Label7.setVisible(true);
    Label8.setVisible(false);
    Text1.setVisible(false);
    for (TextBox* box : {&Text2, &Text3, &Text4, &Text6, &Text7, &Text8})
        box->setText("0");
    SendDisplayMessage();
}

} // namespace veltrum::session
