#include "app/Allocator.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace veltrum::app {

// Every subject change reads the whole summary workbook again, allocating tens of megabytes and freeing
// them. By default glibc maps and unmaps such blocks each time and the kernel zeroes every page anew,
// which more than doubled start-up with a 10,000-session workbook; keeping them in the heap avoids that.
void keepLargeBlocksInTheHeap() {
#ifdef __GLIBC__
    constexpr int limit = 64 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, limit);
    mallopt(M_TRIM_THRESHOLD, limit);
#endif
}

// During a session each row frees and allocates blocks that grow with the session's workbook; kept in
// the heap, each larger one lands above the last and the program's memory climbed by about 10 MB over
// 7,000 rows. glibc's own starting thresholds (128 KiB) map such blocks and unmap them when freed.
void returnFreedBlocksToTheSystem() {
#ifdef __GLIBC__
    constexpr int limit = 128 * 1024;
    mallopt(M_MMAP_THRESHOLD, limit);
    mallopt(M_TRIM_THRESHOLD, limit);
    malloc_trim(0);
#endif
}

engine::SessionEventBus::Subscription returnFreedBlocksOnceTheSessionStarts(engine::SessionEventBus& events) {
    return events.subscribe([](const engine::SessionEvent& event) {
        if (event.kind == engine::SessionEventKind::SessionStarted)
            returnFreedBlocksToTheSystem();
    });
}

} // namespace veltrum::app
