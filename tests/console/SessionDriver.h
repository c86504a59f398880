// A subject for whole sessions in virtual time: pecks the shown pictures in turn and puts its head into
// the hopper after some of the food presentations.
#pragma once

#include "ScenarioHarness.h"

namespace veltrum::testing {

// Runs the session to its end in 100 ms steps: a peck every 700 ms while pictures are shown, cycling
// through them, except in every third trial, which times out; a head entry of 300 ms after every other
// hopper rise.
inline void peckThroughSession(ScenarioHarness& h) {
    int turn = 0;
    int raises = 0;
    bool hopperWasUp = false;
    std::int64_t headOutAt = -1;
    while (h.summaryOpenings == 0 && h.seconds() < 3600) {
        h.run(0.1);
        const std::int64_t now = h.scheduler.nowMs();
        const bool hopperUp = h.window().snapshot().state == engine::CycleState::Food;
        if (hopperUp && !hopperWasUp && raises++ % 2 == 0) {
            h.ioCard.setInput(780, 1);
            headOutAt = now + 300;
        }
        hopperWasUp = hopperUp;
        if (headOutAt >= 0 && now >= headOutAt) {
            h.ioCard.setInput(780, 0);
            headOutAt = -1;
        }
        const std::vector<int> shown = h.shownSlots();
        if (!shown.empty() && now % 700 == 0 && h.window().snapshot().trial % 3 != 0)
            h.window().screen.Image1(shown[static_cast<std::size_t>(turn++) % shown.size()]).mouseDown();
    }
}

} // namespace veltrum::testing
