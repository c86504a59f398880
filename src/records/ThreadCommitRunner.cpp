#include "records/ThreadCommitRunner.h"

#include <pthread.h>
#include <sched.h>
#include <utility>

namespace veltrum::records {

ThreadCommitRunner::ThreadCommitRunner(Post post)
    : m_post(std::move(post))
    , m_thread([this] { loop(); }) {}

ThreadCommitRunner::~ThreadCommitRunner() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_busy; });
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void ThreadCommitRunner::start(std::function<void()> work, std::function<void()> done) {
    {
        std::unique_lock lock(m_mutex);
        // One piece of work at a time: a caller that starts another before the last one's completion
        // arrived waits for the thread to be free (the row writer never does).
        m_changed.wait(lock, [this] { return !m_busy; });
        m_work = std::move(work);
        m_done = std::move(done);
        m_busy = true;
    }
    m_changed.notify_all();
}

void ThreadCommitRunner::wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
}

void ThreadCommitRunner::loop() {
    // Commits wait for disks; they must never compete with the chamber's thread, even when that thread
    // runs with real-time priority and this one was started after it.
    sched_param normal{};
    ::pthread_setschedparam(::pthread_self(), SCHED_OTHER, &normal);
    for (;;) {
        std::function<void()> work;
        std::function<void()> done;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_busy || m_stopping; });
            if (m_stopping && !m_busy)
                return;
            work = std::move(m_work);
            done = std::move(m_done);
        }
        work();
        // Free before the completion is handed back: the chamber's thread may start the next commit the
        // moment it takes the completion in, and must not then wait for this thread (of lower priority,
        // so on a busy computer perhaps for long) to get round to saying it is free.
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_changed.notify_all();
        m_post(std::move(done));
    }
}

} // namespace veltrum::records
