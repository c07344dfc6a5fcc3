// Thread ids, the tick clock and critical sections on POSIX (Linux).
#include "oxPosixHandles.h"
#include "oxPosixWin32.h"

#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

// The futex calls take the section's state word as a plain 32-bit int.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "a critical section's state must be a bare 32-bit word");

namespace {
// A forked child's only thread has a new id but inherits the cache.
void forgetThreadIdInChild() {
    theOxPosixThreadId = 0;
}

[[maybe_unused]] const bool theForkHandlerInstalled =
    pthread_atfork(nullptr, nullptr, forgetThreadIdInChild) == 0;

uint32_t* wordOf(LPCRITICAL_SECTION inSection) {
    return reinterpret_cast<uint32_t*>(&inSection->itsState);
}
}  // namespace

DWORD oxPosixFetchThreadId() {
    const DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    // The id shares the critical section's word with its flag.
    if ((id & kOxPosixSectionHasSleepers) != 0 || id == 0)
        abortOnSyncFailure("GetCurrentThreadId", ERANGE);
    theOxPosixThreadId = id;
    return id;
}

DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);
}

void oxPosixWaitForCriticalSection(LPCRITICAL_SECTION ioSection, DWORD inThreadId) {
    std::atomic<uint32_t>& state = ioSection->itsState;
    uint32_t seen = state.load(std::memory_order_relaxed);
    for (;;) {
        if (seen == 0) {
            // Others may still sleep here, and only a flagged word makes
            // the Leave wake one: a thread that has waited takes it flagged.
            if (state.compare_exchange_weak(seen, inThreadId | kOxPosixSectionHasSleepers,
                                            std::memory_order_acquire, std::memory_order_relaxed))
                break;
            continue;
        }
        if ((seen & kOxPosixSectionHasSleepers) == 0) {
            if (!state.compare_exchange_weak(seen, seen | kOxPosixSectionHasSleepers,
                                             std::memory_order_relaxed, std::memory_order_relaxed))
                continue;
            seen |= kOxPosixSectionHasSleepers;
        }
        // Returns at once when the word is no longer what was seen; a
        // wake-up may also be spurious. Either way the loop looks again.
        if (syscall(SYS_futex, wordOf(ioSection), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0) != 0 &&
            errno != EAGAIN && errno != EINTR)
            abortOnSyncFailure("EnterCriticalSection", errno);
        seen = state.load(std::memory_order_relaxed);
    }
    ioSection->itsRecursion = 1;
}

void oxPosixWakeCriticalSection(LPCRITICAL_SECTION ioSection) {
    // The section may be gone already, taken and freed by the next owner;
    // the kernel then finds nobody to wake, or wakes a stranger who looks
    // again. Nothing to report either way.
    syscall(SYS_futex, wordOf(ioSection), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
