#include "oxSimpleMemMutex.h"

#include "oxRawAssert.h"

namespace {
// Set while this thread reports a use of a shut-down lock. The report goes
// through the log, which takes locks of its own (the log's, the thread
// table's) that may be shut down as well: their refusals during the
// report stay silent, so one refusal makes one report instead of an
// endless recursion.
thread_local bool theIsReportingShutDown = false;

class oxShutDownReport {
public:
    oxShutDownReport() : itsIsFirst(!theIsReportingShutDown) { theIsReportingShutDown = true; }
    ~oxShutDownReport() {
        if (itsIsFirst)
            theIsReportingShutDown = false;
    }
    bool isFirst() const { return itsIsFirst; }

private:
    bool itsIsFirst;
};
}  // namespace

oxSimpleMemMutex::oxSimpleMemMutex(const char* inName) : oxMutex(inName) {
    initialize();
}

oxSimpleMemMutex::oxSimpleMemMutex(const std::string& inName) : oxMutex(inName) {
    initialize();
}

void oxSimpleMemMutex::initialize() {
    numLocks = 0;
    itsLockingThreadID.store(0, std::memory_order_relaxed);
    itsHasBeenDestroyed = false;
    InitializeCriticalSection(&itsCriticalSection);
}

oxSimpleMemMutex::~oxSimpleMemMutex() {
    shutDown();
    DeleteCriticalSection(&itsCriticalSection);
}

void oxSimpleMemMutex::shutDown() {
    if (itsHasBeenDestroyed)
        return;
    oxAssert(!numLocks);
    itsHasBeenDestroyed = true;
}

void oxSimpleMemMutex::reportOwnerStillSet() const {
    oxAssert(itsLockingThreadID == 0);
}

void oxSimpleMemMutex::reportDestroyed() const {
    oxShutDownReport report;
    if (report.isFirst())
        oxAssert(!itsHasBeenDestroyed);
}

bool oxSimpleMemMutex::lockSlowly(DWORD inThreadID) {
    if (itsHasBeenDestroyed) {
        oxShutDownReport report;
        if (report.isFirst())
            oxAssert(false);
        return false;
    }
    DWORD curThreadID = inThreadID;
    // Id 0 names no thread: it cannot own the lock, nor match the owner
    // field of a free one, so it gets nothing rather than a lock it does
    // not hold.
    if (curThreadID == 0) {
        oxAssert(curThreadID != 0);
        return false;
    }
    if (curThreadID == itsLockingThreadID.load(std::memory_order_relaxed)) {
        ++numLocks;
        return true;
    }
    if (!acquireLock(curThreadID))
        return false;
    takeOwnership(curThreadID);
    return true;
}

void oxSimpleMemMutex::unlockSlowly(DWORD inThreadID) {
    if (itsHasBeenDestroyed) {
        oxShutDownReport report;
        if (report.isFirst())
            oxAssert(false);
        return;
    }
    // A thread id of 0 never names an owner, not even of a free lock.
    if (inThreadID != itsLockingThreadID.load(std::memory_order_relaxed) || inThreadID == 0)
        return;
    if (numLocks > 1) {
        --numLocks;
        return;
    }
    // Owner and count disagree: the state is corrupted. Freeing the lock
    // is the one way out that does not leave it held for ever.
    oxAssert(numLocks > 0);
    numLocks = 0;
    itsLockingThreadID.store(0, std::memory_order_release);
    releaseLock(inThreadID);
}

bool oxSimpleMemMutex::tryLock() {
    if (itsHasBeenDestroyed)
        return false;
    DWORD curThreadID = GetCurrentThreadId();
    if (curThreadID == 0)
        return false;
    if (curThreadID == getLockingThreadID()) {
        ++numLocks;
        return true;
    }
    if (!tryAcquireLock())
        return false;
    takeOwnership(curThreadID);
    return true;
}

bool oxSimpleMemMutex::isLocked() const {
    return getLockingThreadID() != 0;
}

unsigned oxSimpleMemMutex::getNumLocks() const {
    return numLocks;
}

// Never touches a deleted critical section.
bool oxSimpleMemMutex::acquireLock(DWORD /*inThreadID*/) {
    if (itsHasBeenDestroyed) {
        reportDestroyed();
        return false;
    }
    EnterCriticalSection(&itsCriticalSection);
    return true;
}
