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
    , m_workbookRecords(services.fileSystem)
    , m_rows(services.commitRunner ? *services.commitRunner : m_inlineCommits)
    , state(m_engine.state()) {
    while (m_services.dataFolder.size() > 1 && m_services.dataFolder.back() == '/')
        m_services.dataFolder.pop_back();
    // Saved sessions are summarised in the summary workbook's sheet All.
    Data3.setDatabaseName(dataPath("Results/Results_Summary.xls"));
    Data3.setRecordSource("All$");
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
    if (m_refusalNoticeTask != 0)
        m_services.scheduler.cancel(m_refusalNoticeTask);
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

// The ended session the summary window sees: the totals, the rows not yet written and where the records
// are kept, without the rest of the main window.
class crt::Ended final : public EndedSession {
public:
    explicit Ended(crt& window)
        : m_window(window) {}

    results::SessionTotals sessionTotals() const override { return m_window.state; }
    std::string shapingNote() const override { return m_window.state.KeyShaping; }
    std::string sessionWorkbook() const override { return m_window.state.NewDataFile; }
    std::string summaryWorkbook() const override { return m_window.Data3.databaseName(); }
    std::string summarySheet() const override { return m_window.Data3.sheetName(); }
    std::int32_t box() const override { return m_window.listeningPort(); }
    records::SessionRecords& records() override { return m_window.records(); }
    std::size_t pendingRowCount() const override { return m_window.pendingRowCount(); }
    const std::string& rowFailure() const override { return m_window.rowFailure(); }
    void retryWaitingRows() override { m_window.retryWaitingRows(); }
    bool settleWaitingRows() override { return m_window.settleWaitingRows(); }
    std::string moveWaitingRowsToRecoveryFile() override { return m_window.moveWaitingRowsToRecoveryFile(); }
    void discardWaitingRows() override { m_window.discardWaitingRows(); }
    void setRowsChanged(std::function<void()> changed) override {
        m_window.setRowsChanged(std::move(changed));
    }
    void closeSession() override {
        // The program is about to end: the workbooks are let go and the window hidden.
        for (DataControl* data : {&m_window.Data1, &m_window.Data2, &m_window.Data3})
            data->close();
        m_window.Form.setVisible(false);
    }

private:
    crt& m_window;
};

EndedSession& crt::endedSession() {
    if (!m_ended)
        m_ended = std::make_unique<Ended>(*this);
    return *m_ended;
}

std::string crt::dataPath(std::string_view relative) const {
    return m_services.dataFolder + "/" + std::string(relative);
}

} // namespace veltrum::session
