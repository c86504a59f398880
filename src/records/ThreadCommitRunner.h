// Commits on a thread of their own, so the chamber's thread never waits for a disk. Completions are
// handed back through `post`, which must run a function on the chamber's thread (for Qt, a queued call
// on the application object).
#pragma once

#include "records/CommitRunner.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace veltrum::records {

class ThreadCommitRunner : public CommitRunner {
public:
    using Post = std::function<void(std::function<void()>)>;
    explicit ThreadCommitRunner(Post post);
    // Waits for the work under way, then ends the thread; a completion not yet delivered is dropped.
    ~ThreadCommitRunner() override;
    ThreadCommitRunner(const ThreadCommitRunner&) = delete;
    ThreadCommitRunner& operator=(const ThreadCommitRunner&) = delete;

    void start(std::function<void()> work, std::function<void()> done) override;
    void wait() override;

private:
    void loop();

    Post m_post;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_work;
    std::function<void()> m_done;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace veltrum::records
