#include "app/RealTime.h"

#include <cerrno>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>

namespace veltrum::app {

namespace {

// Low among real-time priorities: above every normal process, below the kernel's own real-time threads
// (interrupt threads run at 50).
constexpr int chamberPriority = 20;

} // namespace

std::string useRealTimeScheduling() {
    sched_param parameters{};
    parameters.sched_priority = chamberPriority;
    const int refused = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &parameters);
    if (refused != 0)
        return std::string("real-time scheduling is not permitted (") + std::strerror(refused) +
               "); the chamber's timers run with normal scheduling. To permit it, give the user a real-time "
               "priority limit (\"rtprio 20\" in /etc/security/limits.conf) or the program CAP_SYS_NICE.";
    std::string done = "the chamber's timers run with real-time priority (SCHED_FIFO " +
                       std::to_string(chamberPriority) + ")";
    // Locking every page the program will ever use is only safe where there is no locking limit: under a
    // limit, a later allocation beyond it would fail. Pages are locked as they are first touched.
    rlimit limit{};
    if (::getrlimit(RLIMIT_MEMLOCK, &limit) == 0 && limit.rlim_cur == RLIM_INFINITY &&
        ::mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) == 0)
        return done + " and locked memory";
    return done + "; memory is not locked (the locking limit is not unlimited)";
}

} // namespace veltrum::app
