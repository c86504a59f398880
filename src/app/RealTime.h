// Real-time scheduling for the chamber's thread, where the system permits it.
#pragma once

#include <string>

namespace veltrum::app {

// Gives the calling thread (the one that runs the timers, scores touches and drives the card) a low
// real-time priority, so a busy machine does not make ticks late, and locks the program's memory where
// that is permitted without limit. Returns what was done, or why it was not, for the operator's terminal.
// Threads started later inherit the priority; the row writer's thread drops it for itself.
std::string useRealTimeScheduling();

} // namespace veltrum::app
