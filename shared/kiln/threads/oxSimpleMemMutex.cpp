#include "oxSimpleMemMutex.h"

#include "oxAssert.h"
#include "oxThread.h"

oxSimpleMemMutex::oxSimpleMemMutex(const char* inName) : oxMutex(inName) { initialize(); }

oxSimpleMemMutex::oxSimpleMemMutex(const std::string& inName) : oxMutex(inName) { initialize(); }

void oxSimpleMemMutex::initialize() {
    numLocks = 0;
    itsLockingThreadID.store(0, std::memory_order_relaxed);
    itsHasBeenDestroyed = false;
    InitializeCriticalSection(&itsCriticalSection);
}

oxSimpleMemMutex::~oxSimpleMemMutex() { shutDown(); }

void oxSimpleMemMutex::shutDown() {
    if (itsHasBeenDestroyed)
        return;
    oxAssert(!numLocks);
    DeleteCriticalSection(&itsCriticalSection);
    itsHasBeenDestroyed = true;
}

bool oxSimpleMemMutex::lock() {
    if (itsHasBeenDestroyed) {
        oxAssert(false);
        return false;
    }
    DWORD curThreadID = oxThread::getCurrentThreadID();
    if (curThreadID == 0)
        oxAssert(curThreadID != 0);
    // Only the owner itself can see its own id here.
    if (curThreadID == itsLockingThreadID.load(std::memory_order_relaxed)) {
        ++numLocks;
        return true;
    }
    if (!acquireLock(curThreadID))
        return false;
    oxAssert(itsLockingThreadID == 0);
    itsLockingThreadID.store(curThreadID, std::memory_order_release);
    numLocks = 1;
    return true;
}

void oxSimpleMemMutex::unlock() {
    if (itsHasBeenDestroyed) {
        oxAssert(false);
        return;
    }
    DWORD id = oxThread::getCurrentThreadID();
    if (id != itsLockingThreadID.load(std::memory_order_relaxed))
        return;
    if (numLocks == 0)
        oxAssert(numLocks > 0);
    else
        --numLocks;
    if (numLocks == 0) {
        // Cleared before the critical section is left, so a reader never
        // sees a stale owner on a free mutex.
        itsLockingThreadID.store(0, std::memory_order_release);
        releaseLock(id);
    }
}

bool oxSimpleMemMutex::tryLock() {
    if (itsHasBeenDestroyed)
        return false;
    DWORD curThreadID = oxThread::getCurrentThreadID();
    if (curThreadID == getLockingThreadID()) {
        ++numLocks;
        return true;
    }
    if (!tryAcquireLock())
        return false;
    itsLockingThreadID.store(curThreadID, std::memory_order_release);
    numLocks = 1;
    return true;
}

bool oxSimpleMemMutex::tryAcquireLock() { return TryEnterCriticalSection(&itsCriticalSection) != FALSE; }

bool oxSimpleMemMutex::isLocked() const { return getLockingThreadID() != 0; }

unsigned oxSimpleMemMutex::getNumLocks() const { return numLocks; }

bool oxSimpleMemMutex::acquireLock(DWORD /*inThreadID*/) {
    oxAssert(!itsHasBeenDestroyed);
    EnterCriticalSection(&itsCriticalSection);
    return true;
}

void oxSimpleMemMutex::releaseLock(DWORD /*inThreadID*/) {
    oxAssert(!itsHasBeenDestroyed);
    LeaveCriticalSection(&itsCriticalSection);
}
