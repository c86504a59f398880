// The I/O card the program drives, as chosen on its command line.
#pragma once

#include "app/CommandLine.h"
#include "platform/IoCard.h"
#include "platform/Scheduler.h"

#include <memory>

namespace veltrum::app {

// The simulated card (with its trace file and sensor pipe when given) or the card on the I/O ports.
// Throws std::runtime_error when the trace or the sensor pipe cannot be opened.
std::unique_ptr<platform::IoCard> makeIoCard(const CommandLine& options,
                                             const platform::Scheduler& scheduler);

} // namespace veltrum::app
