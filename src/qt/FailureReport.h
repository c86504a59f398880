// Where failures thrown by the core's handlers go when Qt delivered the event (timer, socket, click):
// exceptions must never unwind into Qt's event loop.
#pragma once

#include <QString>

#include <functional>

namespace veltrum::qt {

using FailureSink = std::function<void(const QString& message)>;

// Replaces the process's failure sink; the default writes the message to qCritical.
void setFailureSink(FailureSink sink);

// Reports a failure through the current sink.
void reportFailure(const QString& message);

// Runs action, reporting any exception it throws instead of letting it escape.
void runGuarded(const std::function<void()>& action) noexcept;

} // namespace veltrum::qt
