// A recursive mutex on a critical section that knows its owner thread and
// recursion count. Safe to call after destruction (static objects at
// exit): lock then refuses and unlock does nothing.
#ifndef OX_SIMPLE_MEM_MUTEX_H
#define OX_SIMPLE_MEM_MUTEX_H

#include <atomic>

#include "oxMutex.h"
#include "oxWin32.h"

class oxSimpleMemMutex : public oxMutex {
public:
    explicit oxSimpleMemMutex(const char* inName);
    explicit oxSimpleMemMutex(const std::string& inName);
    ~oxSimpleMemMutex() override;

    // May block. A re-lock by the owner only counts.
    bool lock() override;
    // Ignored, silently, when the caller is not the owner.
    void unlock() override;
    bool isLocked() const override;

    virtual unsigned getNumLocks() const;

    // Takes the lock only if that needs no wait; never blocks and never
    // takes part in deadlock detection. For reports that must not wait.
    bool tryLock();

    // What the destructor does, for a lock whose storage lives on: checks
    // it is free, deletes the critical section, and makes every later
    // lock and unlock refuse with a report. Runs once.
    void shutDown();

    // The owner, read without the critical section: only the owner itself
    // can ever see its own id here, so comparing with it is exact.
    DWORD getLockingThreadID() const { return itsLockingThreadID.load(std::memory_order_acquire); }

protected:
    // The blocking step; called only when the caller does not own the lock.
    virtual bool acquireLock(DWORD inThreadID);
    // The releasing step; called when the count drops to 0.
    virtual void releaseLock(DWORD inThreadID);
    // Takes the critical section if it is free, without waiting.
    bool tryAcquireLock();

    unsigned numLocks;
    std::atomic<DWORD> itsLockingThreadID;

private:
    void initialize();

    CRITICAL_SECTION itsCriticalSection;
    std::atomic<bool> itsHasBeenDestroyed;
};

#endif
