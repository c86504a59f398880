// The core's one time source: single-shot tasks at due times on a monotonic millisecond clock.
#pragma once

#include <cstdint>
#include <functional>

namespace veltrum::platform {

class Scheduler {
public:
    using TaskId = std::uint64_t;
    virtual ~Scheduler() = default;

    // Milliseconds on a monotonic clock that never goes back.
    virtual std::int64_t nowMs() const = 0;
    // Runs task once when nowMs() reaches dueMs (at once if already past), on the core's thread,
    // never from inside this call. Tasks due at the same time run in the order they were armed.
    virtual TaskId scheduleAt(std::int64_t dueMs, std::function<void()> task) = 0;
    // Forgets a task that has not run yet; unknown or finished ids are ignored.
    virtual void cancel(TaskId id) = 0;
};

} // namespace veltrum::platform
