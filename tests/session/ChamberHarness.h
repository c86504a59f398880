// The demo data folder and the main window on faked services, with the steps that bring a session to its
// first stimulus and read back the rows it wrote.
#pragma once

#include "engine/Phase.h"
#include "support/SessionFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
class ChamberHarness : public SessionFixture {
public:
    ChamberHarness() { window(); }

    const session::SessionState& state() { return window().engine().state(); }

    // Start-up (unless done), the phase picked, Start pressed; key S is left to the test.
    void setUp(Phase phase) {
        if (!window().isLoaded())
            window().Form_Load();
        window().panel.Combo1.select(static_cast<int>(phase) - 1);
        window().panel.Command1.click();
    }
    void startSession(Phase phase) {
        setUp(phase);
        press('S');
    }
    // Runs virtual time until the next stimulus period has begun (FIStatus still 0).
    void runToStimulus() {
        for (int ms = 0; ms < 120000 && !window().engine().timers().Stimulus.isEnabled(); ms += 10)
            scheduler.advanceBy(10);
        ASSERT_TRUE(window().engine().timers().Stimulus.isEnabled());
    }
    void runPastFixedInterval() {
        scheduler.advanceBy(1000);
        ASSERT_EQ(state().FIStatus, 1);
    }
    // Runs virtual time until the stimulus period has ended.
    void runToStimulusEnd() {
        for (int ms = 0; ms < 60000 && window().engine().timers().Stimulus.isEnabled(); ms += 10)
            scheduler.advanceBy(10);
        ASSERT_FALSE(window().engine().timers().Stimulus.isEnabled());
    }
    void connectTablet(std::int32_t requestId = 1) { socket.tabletConnects(requestId); }

    std::vector<TouchRow> rows() {
        std::vector<TouchRow> rows;
        for (const Row& row : readRows(state().NewDataFile))
            rows.push_back(
                {count(row, "Ordinal"), count(row, "Goal"), count(row, "Response"), row.at("Outcome").text});
        return rows;
    }

private:
    static int count(const Row& row, const std::string& column) {
        const workbook::Cell& cell = row.at(column);
        if (cell.kind == workbook::CellKind::Number)
            return static_cast<int>(cell.number);
        return cell.text.empty() ? 0 : std::atoi(cell.text.c_str());
    }
};

} // namespace veltrum::testing
