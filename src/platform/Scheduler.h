// The core's one time source: single-shot tasks at due times on a monotonic clock. Time is kept in
// microseconds, so a timer enabled part-way through a millisecond ticks at whole intervals from that
// very moment; most callers think in milliseconds and use the millisecond forms.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace veltrum::platform {

class Scheduler {
public:
    using TaskId = std::uint64_t;
    virtual ~Scheduler() = default;

    // Microseconds on a monotonic clock that never goes back.
    virtual std::int64_t nowUs() const = 0;
    // Runs task once when nowUs() reaches dueUs (at once if already past), on the core's thread,
    // never from inside this call. Tasks due at the same time run in the order they were armed.
    virtual TaskId scheduleAtUs(std::int64_t dueUs, std::function<void()> task) = 0;
    // Forgets a task that has not run yet; unknown or finished ids are ignored.
    virtual void cancel(TaskId id) = 0;

    // The same clock in whole milliseconds (rounded down), and a task due at a whole millisecond.
    std::int64_t nowMs() const { return nowUs() / 1000; }
    TaskId scheduleAt(std::int64_t dueMs, std::function<void()> task) {
        return scheduleAtUs(dueMs * 1000, std::move(task));
    }
};

} // namespace veltrum::platform
