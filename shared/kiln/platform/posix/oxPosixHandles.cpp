// The table of live handles and the wait shared by every kernel object.
#include "oxPosixHandles.h"

#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>

namespace {

// Guards theLiveHandles. Statically initialised, so handles work before
// any constructor has run.
pthread_mutex_t theHandlesLock = PTHREAD_MUTEX_INITIALIZER;
// On the heap and never freed: threads still running at exit may close
// or wait on handles while static objects are destroyed.
std::map<HANDLE, std::shared_ptr<oxPosixHandleObject>>* theLiveHandles = nullptr;

timespec deadlineAfter(DWORD inMilliseconds) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(inMilliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(inMilliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

}  // namespace

void abortOnSyncFailure(const char* inOperation, int inError) {
    std::fprintf(stderr, "%s failed with error %d\n", inOperation, inError);
    std::fflush(stderr);
    std::abort();
}

oxPosixLock::oxPosixLock(pthread_mutex_t& inMutex) : itsMutex(inMutex) {
    pthread_mutex_lock(&itsMutex);
}

oxPosixLock::~oxPosixLock() {
    pthread_mutex_unlock(&itsMutex);
}

oxPosixHandleObject::oxPosixHandleObject() {
    int error = pthread_mutex_init(&itsLock, nullptr);
    if (error != 0) {
        abortOnSyncFailure("pthread_mutex_init", error);
    }
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    // Time-outs must not jump with the wall clock.
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    error = pthread_cond_init(&itsCondition, &attributes);
    pthread_condattr_destroy(&attributes);
    if (error != 0) {
        abortOnSyncFailure("pthread_cond_init", error);
    }
}

oxPosixHandleObject::~oxPosixHandleObject() {
    pthread_cond_destroy(&itsCondition);
    pthread_mutex_destroy(&itsLock);
}

DWORD oxPosixHandleObject::wait(DWORD inMilliseconds) {
    const timespec deadline = deadlineAfter(inMilliseconds == INFINITE ? 0 : inMilliseconds);
    oxPosixLock lock(itsLock);
    const uint64_t ticket = beginWaitLocked();
    DWORD result = WAIT_OBJECT_0;
    bool timedOut = inMilliseconds == 0;
    // The condition is tested once more after a time-out, so a signal
    // that arrives with the deadline still counts.
    while (!tryEndWaitLocked(ticket)) {
        if (timedOut) {
            result = WAIT_TIMEOUT;
            break;
        }
        if (inMilliseconds == INFINITE) {
            pthread_cond_wait(&itsCondition, &itsLock);
        } else {
            timedOut = pthread_cond_timedwait(&itsCondition, &itsLock, &deadline) == ETIMEDOUT;
        }
    }
    endWaitLocked();
    return result;
}

void oxPosixHandleObject::wakeWaitersLocked() {
    pthread_cond_broadcast(&itsCondition);
}

void oxPosixHandleObject::sleepLocked() {
    pthread_cond_wait(&itsCondition, &itsLock);
}

HANDLE registerHandle(const std::shared_ptr<oxPosixHandleObject>& inObject) {
    HANDLE handle = inObject.get();
    try {
        oxPosixLock lock(theHandlesLock);
        if (theLiveHandles == nullptr) {
            theLiveHandles = new std::map<HANDLE, std::shared_ptr<oxPosixHandleObject>>;
        }
        theLiveHandles->emplace(handle, inObject);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return handle;
}

std::shared_ptr<oxPosixHandleObject> findHandle(HANDLE inHandle) {
    oxPosixLock lock(theHandlesLock);
    if (inHandle == nullptr || theLiveHandles == nullptr) {
        return nullptr;
    }
    auto entry = theLiveHandles->find(inHandle);
    return entry == theLiveHandles->end() ? nullptr : entry->second;
}

BOOL CloseHandle(HANDLE inHandle) {
    std::shared_ptr<oxPosixHandleObject> closed;
    {
        oxPosixLock lock(theHandlesLock);
        if (inHandle == nullptr || theLiveHandles == nullptr) {
            return FALSE;
        }
        auto entry = theLiveHandles->find(inHandle);
        if (entry == theLiveHandles->end()) {
            return FALSE;
        }
        closed = std::move(entry->second);
        theLiveHandles->erase(entry);
    }
    // The object, if this was its last reference, goes away outside the
    // table's lock.
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE inHandle, DWORD inMilliseconds) {
    std::shared_ptr<oxPosixHandleObject> object = findHandle(inHandle);
    return object == nullptr ? WAIT_FAILED : object->wait(inMilliseconds);
}
