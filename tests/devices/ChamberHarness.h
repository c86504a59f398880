// The demo data folder copied to a temporary directory and the main window on faked services, with the
// steps that bring a session to its first stimulus and read back the rows it wrote.
#pragma once

#include "engine/Phase.h"
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

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::testing {

using Phase = engine::PhaseId;
using enum engine::PhaseId;

// One row of the session data workbook, the columns a touch decides.
struct TouchRow {
    int ordinal;
    int goal;
    int response;
    std::string outcome;
    bool operator==(const TouchRow&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TouchRow& row) {
    return out << "{" << row.ordinal << ", " << row.goal << ", " << row.response << ", \"" << row.outcome
               << "\"}";
}

// Subject P103 of the demo folder: no sessions yet; every phase has 5 s stimulus periods, a 1000 ms
// fixed interval, ITIs of 4 s after a response and 6 s without, and head-entry timing off but in
// MagTrain; MagTrain is not instrumental, Auto is Pavlovian.
class ChamberHarness {
public:
    ChamberHarness() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-chamber-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_root = pattern;
        m_folder = m_root + "/Veltrum";
        std::filesystem::copy(VELTRUM_DEMO_DATA_DIR, m_folder, std::filesystem::copy_options::recursive);
        m_window = std::make_unique<session::crt>(session::Services{
            scheduler, clock, dialogs, fileSystem, socket, ioCard, random, lifetime, m_folder});
    }
    ~ChamberHarness() {
        m_window.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    session::crt& window() { return *m_window; }
    const session::SessionState& state() { return m_window->sessionState(); }

    // Start-up (unless done), the phase picked, Start pressed; key S is left to the test.
    void setUp(Phase phase) {
        if (!m_window->isLoaded())
            m_window->Form_Load();
        m_window->Combo1.select(static_cast<int>(phase) - 1);
        m_window->Command1.click();
    }
    void pressKey(char key) {
        forms::Int16 code = key;
        m_window->Form_KeyPress(code);
    }
    void startSession(Phase phase) {
        setUp(phase);
        pressKey('S');
    }
    // Runs virtual time until the next stimulus period has begun (FIStatus still 0).
    void runToStimulus() {
        for (int ms = 0; ms < 120000 && !m_window->Stimulus.isEnabled(); ms += 10)
            scheduler.advanceBy(10);
        ASSERT_TRUE(m_window->Stimulus.isEnabled());
    }
    void runPastFixedInterval() {
        scheduler.advanceBy(1000);
        ASSERT_EQ(state().FIStatus, 1);
    }
    // Runs virtual time until the stimulus period has ended.
    void runToStimulusEnd() {
        for (int ms = 0; ms < 60000 && m_window->Stimulus.isEnabled(); ms += 10)
            scheduler.advanceBy(10);
        ASSERT_FALSE(m_window->Stimulus.isEnabled());
    }
    void connectTablet(std::int32_t requestId = 1) { socket.tabletConnects(requestId); }

    std::vector<TouchRow> rows() const {
        const workbook::Workbook book = workbook::Workbook::open(m_window->sessionState().NewDataFile);
        const workbook::Table table(book, "Data");
        std::vector<TouchRow> rows;
        for (int r = 0; r < table.recordCount(); ++r)
            rows.push_back({number(table.field(r, "Ordinal")), number(table.field(r, "Goal")),
                            number(table.field(r, "Response")), table.field(r, "Outcome").text});
        return rows;
    }

    platform::VirtualScheduler scheduler;
    FakeClock clock{scheduler};
    ScriptedDialogs dialogs;
    DiskFileSystem fileSystem;
    FakeTabletSocket socket;
    RecordingIoCard ioCard{scheduler};
    SequenceRandom random;
    FakeProgramLifetime lifetime;

private:
    static int number(const workbook::Cell& cell) {
        if (cell.kind == workbook::CellKind::Number)
            return static_cast<int>(cell.number);
        return cell.text.empty() ? 0 : std::atoi(cell.text.c_str());
    }

    std::string m_root;
    std::string m_folder;
    std::unique_ptr<session::crt> m_window;
};

} // namespace veltrum::testing
