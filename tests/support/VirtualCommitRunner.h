// A disk that takes its time, in virtual time: each commit runs `delayMs` after it was started, as a
// task of the scheduler, and its completion right after it. wait() runs a commit still to come at once.
#pragma once

#include "platform/Scheduler.h"
#include "records/CommitRunner.h"

#include <memory>

namespace veltrum::testing {

class VirtualCommitRunner : public records::CommitRunner {
public:
    VirtualCommitRunner(platform::Scheduler& scheduler, std::int64_t delayMs)
        : m_scheduler(scheduler)
        , m_delayMs(delayMs) {}

    void start(std::function<void()> work, std::function<void()> done) override {
        ++started;
        auto job = std::make_shared<Job>(Job{std::move(work), std::move(done)});
        m_last = job;
        m_scheduler.scheduleAt(m_scheduler.nowMs() + m_delayMs, [job] {
            job->run();
            job->done();
        });
    }
    void wait() override {
        if (m_last)
            m_last->run();
    }
    int started = 0;

private:
    struct Job {
        std::function<void()> work;
        std::function<void()> done;
        bool ran = false;
        void run() {
            if (!std::exchange(ran, true))
                work();
        }
    };
    platform::Scheduler& m_scheduler;
    std::int64_t m_delayMs;
    std::shared_ptr<Job> m_last;
};

} // namespace veltrum::testing
