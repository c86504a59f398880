// A copy of the demo data folder with subject S1 on a scenario's parameters, the main window in virtual
// time, and readers for what a session leaves: its rows, port writes, tablet messages, the display.
#pragma once

#include "session/crt.h"
#include "support/DiskFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeProgramLifetime.h"
#include "support/FakeTabletSocket.h"
#include "support/RecordingIoCard.h"
#include "support/ScriptedDialogs.h"
#include "support/SequenceRandom.h"

#include "platform/VirtualScheduler.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::testing {

// Dialogs whose questions can let time pass before the answer, as a real modal box does while the
// window's timers keep running.
class WaitingDialogs : public ScriptedDialogs {
public:
    std::function<void()> whileAsking;
    platform::MessageAnswer messageBox(const std::string& text, const std::string& title,
                                       platform::MessageButtons buttons,
                                       platform::MessageIcon icon) override {
        if (whileAsking && buttons != platform::MessageButtons::Ok) {
            auto wait = std::move(whileAsking);
            whileAsking = nullptr;
            wait();
        }
        return ScriptedDialogs::messageBox(text, title, buttons, icon);
    }
};

// One data row as read back from the session workbook, by header name.
using Row = std::map<std::string, workbook::Cell>;

class ScenarioHarness {
public:
    // params: a workbook of tests/scenarios/fixtures ("params_main", "params_alt", "params_limits").
    explicit ScenarioHarness(const std::string& params = "params_main", const std::string& subject = "S1")
        : m_subject(subject) {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-scenario-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_root = pattern;
        m_folder = m_root + "/Veltrum";
        std::filesystem::copy(VELTRUM_DEMO_FOLDER, m_folder, std::filesystem::copy_options::recursive);
        std::ofstream(m_folder + "/CurrentSchedule.txt", std::ios::binary) << subject << "\r\n";
        addParameters(subject, params);
    }
    ~ScenarioHarness() {
        m_window.reset();
        std::error_code ignored;
        std::filesystem::permissions(dataFile(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_root, ignored);
    }

    void addParameters(const std::string& subject, const std::string& params) {
        std::filesystem::copy_file(std::string(VELTRUM_SCENARIO_FIXTURES) + "/" + params + ".xls",
                                   m_folder + "/Parameters/" + subject + ".xls",
                                   std::filesystem::copy_options::overwrite_existing);
    }
    const std::string& folder() const { return m_folder; }
    std::string dataFile() const { return m_folder + "/Results/" + m_subject + ".1.xls"; }

    session::crt& window() {
        if (!m_window) {
            session::Services services{scheduler, clock,  dialogs,  fileSystem, socket,
                                       ioCard,    random, lifetime, m_folder};
            services.commitRunner = commitRunner;
            services.rowsToWorkbookEveryMs = rowsToWorkbookEveryMs;
            m_window = std::make_unique<session::crt>(services);
            m_window->setSummaryWindowOpener([this] { ++summaryOpenings; });
        }
        return *m_window;
    }
    // The program ends without saving (as in a crash) and starts again on the same data folder.
    void restart() {
        m_window.reset();
        socket = FakeTabletSocket();
        summaryOpenings = 0;
    }
    // Start-up, the phase picked by hand (1 MagTrain .. 4 SimDisc), the hardware-free box, then Start.
    session::crt& setUp(int phase, bool hardwareFree = false) {
        session::crt& w = window();
        w.Form_Load();
        w.Combo1.select(phase - 1);
        if (hardwareFree)
            w.Check1.click();
        w.Command1.click();
        return w;
    }
    session::crt& start(int phase, bool hardwareFree = false) {
        setUp(phase, hardwareFree);
        press('S');
        return window();
    }
    void press(char key) {
        forms::Int16 code = static_cast<int>(key);
        window().Form_KeyPress(code);
    }
    // The tablet connects to the listening socket (after start-up has begun listening).
    void tabletConnected() {
        socket.listen();
        socket.accept(1);
    }
    // Runs virtual time for `seconds`.
    void run(double seconds) { scheduler.advanceBy(static_cast<std::int64_t>(seconds * 1000.0)); }
    // Runs until the summary opens, at most `seconds`.
    void runToEnd(double seconds = 3600) {
        const std::int64_t until = scheduler.nowMs() + static_cast<std::int64_t>(seconds * 1000.0);
        while (summaryOpenings == 0 && scheduler.nowMs() < until)
            scheduler.advanceBy(100);
    }
    double seconds() const { return static_cast<double>(scheduler.nowMs()) / 1000.0; }

    std::vector<Row> rows() const {
        const workbook::Workbook book = workbook::Workbook::open(dataFile());
        const workbook::Table table(book, "Data");
        std::vector<Row> out;
        for (int r = 0; r < table.recordCount(); ++r) {
            Row row;
            for (int c = 0; c < table.columnCount(); ++c)
                row[table.header()[static_cast<std::size_t>(c)]] = table.field(r, c);
            out.push_back(std::move(row));
        }
        return out;
    }
    static std::string text(const Row& row, const std::string& column) {
        return workbook::toDisplayText(row.at(column));
    }
    static int number(const Row& row, const std::string& column) {
        return static_cast<int>(row.at(column).number);
    }

    // Values written to output port 792, in order.
    std::vector<int> outputs() const {
        std::vector<int> values;
        for (const RecordingIoCard::Write& write : ioCard.writes())
            values.push_back(write.value);
        return values;
    }
    // The six position boxes as the tablet message would carry them.
    std::string display() {
        session::crt& w = window();
        return w.Text2.text() + "," + w.Text3.text() + "," + w.Text4.text() + "," + w.Text6.text() + "," +
               w.Text7.text() + "," + w.Text8.text();
    }
    std::vector<int> shownSlots() {
        std::vector<int> shown;
        for (int i = 1; i <= 6; ++i)
            if (window().Image1(i).isVisible())
                shown.push_back(i);
        return shown;
    }

    platform::VirtualScheduler scheduler;
    FakeClock clock{scheduler};
    WaitingDialogs dialogs;
    DiskFileSystem fileSystem;
    FakeTabletSocket socket;
    RecordingIoCard ioCard{scheduler};
    SequenceRandom random{{0.9f, 0.1f, 0.5f, 0.3f, 0.7f, 0.2f, 0.8f, 0.4f, 0.6f, 0.05f, 0.95f, 0.15f}};
    FakeProgramLifetime lifetime;
    int summaryOpenings = 0;
    // Where trial rows are committed; rows are committed within RecordTrial when none is set.
    records::CommitRunner* commitRunner = nullptr;
    std::int64_t rowsToWorkbookEveryMs = 0;

private:
    std::string m_subject;
    std::string m_root;
    std::string m_folder;
    std::unique_ptr<session::crt> m_window;
};

} // namespace veltrum::testing
