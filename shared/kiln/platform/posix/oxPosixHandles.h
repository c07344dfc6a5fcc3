// What stands behind a HANDLE on POSIX. Shared by this folder's sources
// only; the rest of the framework sees nothing but HANDLE.
#ifndef OX_POSIX_HANDLES_H
#define OX_POSIX_HANDLES_H

#include "oxPosixWin32.h"

#include <pthread.h>

#include <memory>

// Holds a pthread mutex for one scope.
class oxPosixLock {
public:
    explicit oxPosixLock(pthread_mutex_t& inMutex);
    ~oxPosixLock();
    oxPosixLock(const oxPosixLock&) = delete;
    oxPosixLock& operator=(const oxPosixLock&) = delete;

private:
    pthread_mutex_t& itsMutex;
};

// Ends the process with a line on standard error naming inOperation and
// its error, for a lock or condition that cannot be set up or taken:
// running on unprotected would corrupt whatever it guards, and Windows
// raises an exception in the same places.
[[noreturn]] void abortOnSyncFailure(const char* inOperation, int inError);

// A kernel object that WaitForSingleObject can wait on: one lock, one
// condition variable on the monotonic clock, and the wait built on them.
// Subclasses say when a wait may end. Owned through shared pointers, so a
// wait in progress keeps the object alive when its handle is closed.
class oxPosixHandleObject {
public:
    oxPosixHandleObject();
    virtual ~oxPosixHandleObject();
    oxPosixHandleObject(const oxPosixHandleObject&) = delete;
    oxPosixHandleObject& operator=(const oxPosixHandleObject&) = delete;

    // Blocks for at most inMilliseconds (0: no blocking, INFINITE: no
    // limit) until tryEndWaitLocked grants the wait. Takes itsLock.
    // Returns WAIT_OBJECT_0 or WAIT_TIMEOUT.
    DWORD wait(DWORD inMilliseconds);

protected:
    // REQUIRES: itsLock held. Bracket every wait, so a subclass can count
    // its waiters; the ticket returned is handed to tryEndWaitLocked.
    virtual uint64_t beginWaitLocked() { return 0; }
    virtual void endWaitLocked() {}
    // REQUIRES: itsLock held. True when the wait that began with inTicket
    // may end; consumes whatever that wait takes.
    virtual bool tryEndWaitLocked(uint64_t inTicket) = 0;

    // REQUIRES: itsLock held.
    void wakeWaitersLocked();
    // REQUIRES: itsLock held. Blocks until the next wakeWaitersLocked (or
    // a spurious wake-up: callers loop on their condition).
    void sleepLocked();

    pthread_mutex_t itsLock;
    pthread_cond_t itsCondition;
};

// Enters inObject in the table of live handles and returns its handle
// (the object's address); null if the table cannot grow.
HANDLE registerHandle(const std::shared_ptr<oxPosixHandleObject>& inObject);

// The live object behind inHandle; null for a null, closed or unknown
// handle. The reference returned outlives a concurrent CloseHandle.
std::shared_ptr<oxPosixHandleObject> findHandle(HANDLE inHandle);

template <class T>
std::shared_ptr<T> findHandleOf(HANDLE inHandle) {
    return std::dynamic_pointer_cast<T>(findHandle(inHandle));
}

// Drops the calling thread's message queue now rather than at its
// thread-local clean-up. A thread started by CreateThread calls it before
// its handle is signalled, so that a message posted after a wait on the
// handle fails instead of vanishing in a queue nobody reads.
void discardThreadMessageQueue();

#endif
