// Where the row writer's commits run: on a thread of their own in the program, at once in tests that
// want today's synchronous behaviour, or after a virtual delay in tests of a slow disk.
#pragma once

#include <functional>

namespace veltrum::records {

class CommitRunner {
public:
    virtual ~CommitRunner() = default;
    // Runs `work` away from the caller (one piece of work at a time), then `done` on the caller's thread.
    virtual void start(std::function<void()> work, std::function<void()> done) = 0;
    // Blocks until the work started last has run; its `done` may still be on its way and must then be
    // harmless.
    virtual void wait() = 0;
};

// Runs the work and its completion inside start(): the writer behaves as if it wrote each row itself.
class InlineCommitRunner : public CommitRunner {
public:
    void start(std::function<void()> work, std::function<void()> done) override {
        work();
        done();
    }
    void wait() override {}
};

} // namespace veltrum::records
