#include "crt.h"

namespace veltrum::session {

namespace {

// The services as the window's parts use them: the data folder without a trailing slash, and the
// records always set (the data folder's workbooks unless the services name others).
Services partsServices(Services services, records::SessionRecords& workbooks) {
    while (services.dataFolder.size() > 1 && services.dataFolder.back() == '/')
        services.dataFolder.pop_back();
    if (!services.records)
        services.records = &workbooks;
    return services;
}

} // namespace

crt::crt(const Services& services)
    : m_workbookRecords(services.fileSystem)
    , m_services(partsServices(services, m_workbookRecords))
    , m_chamber(services.ioCard)
    , Form("crt")
    , panel(m_services, m_engine)
    , screen(m_engine)
    , rows(m_services, m_engine)
    , link(m_services, m_engine, screen, rows)
    , m_engine(services.scheduler, services.clock, {m_chamber, screen, link, schedule, rows, *this}) {
    designLayout();
    for (forms::Control* control : controls())
        control->attach(&m_controlEvents);
    panel.Command1.setOnClick([this] { Command1_Click(); });
}

crt::~crt() {
    // Rows must not end with the program: those still waiting get one more try, then go to a recovery
    // file beside the workbook.
    rows.keepWaitingRowsAtExit();
}

std::vector<forms::Control*> crt::controls() {
    std::vector<forms::Control*> all{&Form,           &panel.Subject_In, &panel.Command3,     &panel.Combo1,
                                     &panel.Label8,   &panel.Check1,     &panel.SessionNum,   &panel.Label5,
                                     &link.Text1,     &link.Label9,      &screen.Text5,       &screen.Label4,
                                     &link.Label6,    &link.Label2,      &link.TabletAddress, &panel.Command1,
                                     &screen.Label10, &screen.Label7,    &screen.Label1,      &screen.Label3,
                                     &screen.Text2,   &screen.Text3,     &screen.Text4,       &screen.Text6,
                                     &screen.Text7,   &screen.Text8};
    for (int i = screen.Image1.lowerBound(); i <= screen.Image1.upperBound(); ++i)
        all.push_back(&screen.Image1(i));
    return all;
}

engine::SessionSnapshot crt::snapshot() const {
    engine::SessionSnapshot s = m_engine.snapshot();
    if (!m_engine.isSetUp()) {
        // Before Start the panel's picks are the session to be.
        s.subject = panel.Subject_In.text();
        s.phase = panel.Combo1.text();
    }
    s.rowsCommitted = rows.committedRowCount();
    s.linkConnected = link.connected();
    s.tabletAddress = link.peerAddress();
    s.lastTabletMessageAtMs = link.lastMessageAtMs();
    return s;
}

void crt::showSummaryWindow() {
    if (m_summaryShown)
        return;
    m_summaryShown = true;
    if (m_summaryOpener)
        m_summaryOpener();
}

void crt::reportFailure(const std::string& what) {
    m_services.dialogs.messageBox(what + "\n\nThe session goes on; check the chamber and the data files.", "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::Critical);
}

// The ended session the summary window sees: the totals, the rows not yet written and where the records
// are kept, without the rest of the main window.
class crt::Ended final : public EndedSession {
public:
    explicit Ended(crt& window)
        : m_window(window) {}

    results::SessionTotals sessionTotals() const override { return state(); }
    std::string shapingNote() const override { return state().KeyShaping; }
    std::string sessionWorkbook() const override { return state().NewDataFile; }
    std::string summaryWorkbook() const override { return m_window.rows.Data3.databaseName(); }
    std::string summarySheet() const override { return m_window.rows.Data3.sheetName(); }
    std::int32_t box() const override { return m_window.m_services.socket.localPort(); }
    records::SessionRecords& records() override { return *m_window.m_services.records; }
    std::size_t pendingRowCount() const override { return m_window.rows.pendingRowCount(); }
    const std::string& rowFailure() const override { return m_window.rows.rowFailure(); }
    void retryWaitingRows() override { m_window.rows.retryRows(); }
    bool settleWaitingRows() override { return m_window.rows.settleWaitingRows(); }
    std::string moveWaitingRowsToRecoveryFile() override {
        return m_window.rows.moveWaitingRowsToRecoveryFile();
    }
    void discardWaitingRows() override { m_window.rows.discardWaitingRows(); }
    void setRowsChanged(std::function<void()> changed) override {
        m_window.rows.setRowsChanged(std::move(changed));
    }
    void closeSession() override {
        // The program is about to end: the workbooks are let go and the window hidden.
        for (DataControl* data : {&m_window.panel.Data1, &m_window.rows.Data2, &m_window.rows.Data3})
            data->close();
        m_window.Form.setVisible(false);
    }

private:
    const SessionState& state() const { return m_window.m_engine.state(); }
    crt& m_window;
};

EndedSession& crt::endedSession() {
    if (!m_ended)
        m_ended = std::make_unique<Ended>(*this);
    return *m_ended;
}

} // namespace veltrum::session
