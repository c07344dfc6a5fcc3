// Thread ids, the tick clock and critical sections on POSIX (Linux).
#include "oxPosixHandles.h"
#include "oxPosixWin32.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <new>

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::itsStorage),
              "a pthread mutex must fit the critical section's storage");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION),
              "the critical section's storage must be aligned for a pthread mutex");

namespace {

pthread_mutex_t* mutexOf(LPCRITICAL_SECTION inSection) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(inSection->itsStorage));
}

}  // namespace

namespace {
// The kernel id, asked once per thread: a system call on every lock would
// cost more than the lock itself.
thread_local DWORD theCachedThreadId = 0;

// A forked child's only thread has a new id but inherits the cache.
void forgetThreadIdInChild() {
    theCachedThreadId = 0;
}

[[maybe_unused]] const bool theForkHandlerInstalled =
    pthread_atfork(nullptr, nullptr, forgetThreadIdInChild) == 0;
}  // namespace

DWORD GetCurrentThreadId() {
    if (theCachedThreadId == 0)
        theCachedThreadId = static_cast<DWORD>(syscall(SYS_gettid));
    return theCachedThreadId;
}

DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);
}

void InitializeCriticalSection(LPCRITICAL_SECTION ioSection) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_t* mutex = new (ioSection->itsStorage) pthread_mutex_t;
    const int error = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (error != 0) {
        abortOnSyncFailure("InitializeCriticalSection", error);
    }
}

void EnterCriticalSection(LPCRITICAL_SECTION ioSection) {
    const int error = pthread_mutex_lock(mutexOf(ioSection));
    if (error != 0) {
        abortOnSyncFailure("EnterCriticalSection", error);
    }
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION ioSection) {
    return pthread_mutex_trylock(mutexOf(ioSection)) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION ioSection) {
    pthread_mutex_unlock(mutexOf(ioSection));
}

void DeleteCriticalSection(LPCRITICAL_SECTION ioSection) {
    pthread_mutex_destroy(mutexOf(ioSection));
}
