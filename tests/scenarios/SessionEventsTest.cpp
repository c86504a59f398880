// The session's events reach every listener in the order things happen, and their counts agree with
// the rows written.
#include "ScenarioHarness.h"

#include <gtest/gtest.h>

namespace veltrum::testing {
namespace {

using engine::SessionEvent;
using engine::SessionEventKind;

TEST(SessionEvents, ATrialsEventsArriveInOrderAndRowsAreCountedAsCommitted) {
    ScenarioHarness h; // MagTrain: the hopper rises with each trial; timeouts at 9, 18 and 27 s
    std::vector<SessionEvent> seen;
    h.window().events().subscribe([&](const SessionEvent& event) { seen.push_back(event); });
    h.start(1);
    h.run(9.5);

    std::vector<SessionEventKind> kinds;
    for (const SessionEvent& event : seen)
        kinds.push_back(event.kind);
    using K = SessionEventKind;
    const std::vector<K> expected{K::SessionStarted, K::TrialBegun,   K::HopperUp,    K::StimulusOn,
                                  K::TrialTimeout,   K::RowCommitted, K::StimulusOff, K::HopperDown};
    ASSERT_GE(kinds.size(), expected.size());
    EXPECT_EQ(std::vector<K>(kinds.begin(), kinds.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(seen[1].trial, 1);
    EXPECT_EQ(seen[4].outcome, "Trial Timeout");
    EXPECT_EQ(seen[4].atMs - seen[0].atMs, 9000);

    h.runToEnd();
    const std::size_t committed = static_cast<std::size_t>(std::count_if(
        seen.begin(), seen.end(), [](const SessionEvent& e) { return e.kind == K::RowCommitted; }));
    EXPECT_EQ(committed, h.rows().size());
    EXPECT_EQ(h.window().snapshot().rowsCommitted, committed);
    EXPECT_EQ(seen.back().kind, K::SessionEnded);
    EXPECT_EQ(h.window().snapshot().state, engine::CycleState::Ended);
}

} // namespace
} // namespace veltrum::testing
