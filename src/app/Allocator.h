// How the program's memory allocator is set up: for the set-up panel, then for the session.
#pragma once

#include "engine/SessionEvents.h"

namespace veltrum::app {

// Large blocks freed and allocated again (the summary workbook read on each subject change) stay in the
// heap instead of being mapped and zeroed anew each time. Called once, before anything else runs.
void keepLargeBlocksInTheHeap();

// Large blocks freed from now on go back to the system, and what the heap holds free is given back now.
void returnFreedBlocksToTheSystem();

// Calls returnFreedBlocksToTheSystem when `events` tells of the session's start.
engine::SessionEventBus::Subscription returnFreedBlocksOnceTheSessionStarts(engine::SessionEventBus& events);

} // namespace veltrum::app
