#include "crt.h"

#include <cstdio>
#include <exception>

namespace veltrum::session {

crt::crt(const Services& services)
    : m_chamber(services.ioCard)
    , m_engine(services.scheduler, services.clock, {m_chamber, *this, *this, *this, *this})
    , Form("crt")
    , Subject_In("Subject_In")
    , Command3("Command3")
    , Combo1("Combo1")
    , Label8("Label8")
    , Check1("Check1")
    , SessionNum("SessionNum")
    , Label5("Label5")
    , Text1("Text1")
    , Label9("Label9")
    , Text5("Text5")
    , Label4("Label4")
    , Label6("Label6")
    , Label2("Label2")
    , TabletAddress("TabletAddress")
    , Command1("Command1")
    , Label10("Label10")
    , Label7("Label7")
    , Label1("Label1")
    , Label3("Label3")
    , Text2("Text2")
    , Text3("Text3")
    , Text4("Text4")
    , Text6("Text6")
    , Text7("Text7")
    , Text8("Text8")
    , Image1("Image1", 1, 6)
    , Data1(services.fileSystem, "Data1")
    , Data2(services.fileSystem, "Data2")
    , Data3(services.fileSystem, "Data3")
    , ITI(m_engine.ITI)
    , Stimulus(m_engine.Stimulus)
    , FI(m_engine.FI)
    , Session_Timer(m_engine.Session_Timer)
    , Hopper_Timer(m_engine.Hopper_Timer)
    , Infrared(m_engine.Infrared)
    , m_services(services)
    , m_rows(services.commitRunner ? *services.commitRunner : m_inlineCommits)
    , state(m_engine.state()) {
    while (m_services.dataFolder.size() > 1 && m_services.dataFolder.back() == '/')
        m_services.dataFolder.pop_back();
    designLayout();
    for (Control* control : controls())
        control->attach(&m_controlEvents);
    connectSetupHandlers();
    connectTrialHandlers();
    connectTabletHandlers();
    m_rows.setFlushInterval(services.scheduler, services.rowsToWorkbookEveryMs);
    m_rows.setListener({[this](std::size_t count) { rowsCommitted(count); },
                        [this](const std::string& why) { rowsFailed(why); },
                        [this] {
                            if (m_rowsChanged)
                                m_rowsChanged();
                        }});
}

crt::~crt() {
    // Rows must not end with the program: those still waiting get one more try, then go to a recovery
    // file beside the workbook.
    if (m_rows.waiting() == 0 || settleWaitingRows())
        return;
    try {
        const std::string path = moveWaitingRowsToRecoveryFile();
        std::fprintf(stderr, "veltrum: trial rows that could not be written to %s are in %s\n",
                     state.NewDataFile.c_str(), path.c_str());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "veltrum: %zu trial rows could not be saved anywhere: %s\n", m_rows.waiting(),
                     failure.what());
    }
}

std::vector<Control*> crt::controls() {
    std::vector<Control*> all{&Form,          &Subject_In, &Command3, &Combo1, &Label8, &Check1, &SessionNum,
                              &Label5,        &Text1,      &Label9,   &Text5,  &Label4, &Label6, &Label2,
                              &TabletAddress, &Command1,   &Label10,  &Label7, &Label1, &Label3, &Text2,
                              &Text3,         &Text4,      &Text6,    &Text7,  &Text8};
    for (int i = Image1.lowerBound(); i <= Image1.upperBound(); ++i)
        all.push_back(&Image1(i));
    return all;
}

void crt::ShowSummaryWindow() {
    if (m_summaryShown)
        return;
    m_summaryShown = true;
    if (m_summaryOpener)
        m_summaryOpener();
}

std::string crt::dataPath(std::string_view relative) const {
    return m_services.dataFolder + "/" + std::string(relative);
}

} // namespace veltrum::session
