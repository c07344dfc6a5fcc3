// A recursive mutex on a critical section that knows its owner thread and
// recursion count. Safe to call after destruction (static objects at
// exit): lock then refuses and unlock does nothing.
// Safe for concurrent use; recursive for its owner. Takes part in the lock
// orders of whatever it guards.
#ifndef OX_SIMPLE_MEM_MUTEX_H
#define OX_SIMPLE_MEM_MUTEX_H

#include <atomic>

#include "oxMutex.h"
#include "oxWin32.h"

class OX_CAPABILITY("mutex") oxSimpleMemMutex : public oxMutex {
public:
    explicit oxSimpleMemMutex(const char* inName);
    explicit oxSimpleMemMutex(const std::string& inName);
    ~oxSimpleMemMutex() override;

    // May block. A re-lock by the owner only counts. The common cases are
    // inline (below), always, so a caller that knows the type pays no call
    // for them.
    [[gnu::always_inline]] bool lock() override OX_TRY_ACQUIRE(true);
    // Ignored, silently, when the caller is not the owner.
    [[gnu::always_inline]] void unlock() override OX_RELEASE();
    bool isLocked() const override;

    virtual unsigned getNumLocks() const;

    // Takes the lock only if that needs no wait; never blocks and never
    // takes part in deadlock detection. For reports that must not wait.
    bool tryLock() OX_TRY_ACQUIRE(true);

    // What the destructor does, for a lock whose storage lives on: checks
    // it is free and makes every later lock and unlock refuse with a
    // report. Runs once. The critical section is kept (the destructor
    // deletes it): a thread may still be inside it, or entering it.
    void shutDown();

    // The owner, read without the critical section: only the owner itself
    // can ever see its own id here, so comparing with it is exact.
    DWORD getLockingThreadID() const { return itsLockingThreadID.load(std::memory_order_acquire); }

protected:
    // The blocking step; called only when the caller does not own the lock
    // and could not take it at once.
    virtual bool acquireLock(DWORD inThreadID);
    // The releasing step; called when the count drops to 0. Inline: it is
    // part of every first-level unlock.
    virtual void releaseLock(DWORD inThreadID);
    // Takes the critical section if it is free, without waiting.
    bool tryAcquireLock() { return TryEnterCriticalSection(&itsCriticalSection) != FALSE; }

    // What every lock and unlock touches (these two, the flag and the
    // critical section's own words) lies together, so that one line holds
    // it and, with the object as small as it is, often the data guarded
    // too: a lock handed between threads moves one line, not two or three.
    // numLocks is used by the owner only, under the critical section;
    // itsLockingThreadID is read without it on purpose (the recursion test,
    // the deadlock search), hence atomic.
    unsigned numLocks;
    std::atomic<DWORD> itsLockingThreadID;

private:
    void initialize();
    // Everything lock and unlock do besides their common cases: the
    // reports, the blocking step. Out of line, to keep the inline part small.
    bool lockSlowly(DWORD inThreadID);
    void unlockSlowly(DWORD inThreadID);
    // REQUIRES: the critical section just taken by the caller.
    [[gnu::always_inline]] void takeOwnership(DWORD inThreadID) {
        if (itsLockingThreadID.load(std::memory_order_relaxed) != 0)
            reportOwnerStillSet();
        // Written only once the critical section is ours, so a search never
        // reads an owner of a lock that is still being waited for.
        itsLockingThreadID.store(inThreadID, std::memory_order_release);
        numLocks = 1;
    }
    void reportOwnerStillSet() const;
    void reportDestroyed() const;

    std::atomic<bool> itsHasBeenDestroyed;
    CRITICAL_SECTION itsCriticalSection;
};

// The analysis cannot follow the refusal and the critical section below.
inline bool oxSimpleMemMutex::lock() OX_NO_THREAD_SAFETY_ANALYSIS {
    DWORD curThreadID = GetCurrentThreadId();
    if (!itsHasBeenDestroyed.load(std::memory_order_relaxed) && curThreadID != 0) {
        // Only the owner itself can see its own id here.
        if (curThreadID == itsLockingThreadID.load(std::memory_order_relaxed)) {
            ++numLocks;
            return true;
        }
        // A thread that gets a free lock at once waits for nothing, so the
        // blocking step (and a deadlock search) is only for a held lock.
        if (tryAcquireLock()) {
            takeOwnership(curThreadID);
            return true;
        }
    }
    return lockSlowly(curThreadID);
}

inline void oxSimpleMemMutex::releaseLock(DWORD /*inThreadID*/) {
    // Never touches a deleted critical section.
    if (itsHasBeenDestroyed.load(std::memory_order_relaxed)) {
        reportDestroyed();
        return;
    }
    LeaveCriticalSection(&itsCriticalSection);
}

inline void oxSimpleMemMutex::unlock() OX_NO_THREAD_SAFETY_ANALYSIS {
    DWORD id = GetCurrentThreadId();
    // The owner field and the count agree through this interface, so a
    // count of 1 with the caller's id there is a held lock, never a free one.
    if (!itsHasBeenDestroyed.load(std::memory_order_relaxed) &&
        id == itsLockingThreadID.load(std::memory_order_relaxed) && numLocks == 1) {
        numLocks = 0;
        // Cleared before the critical section is left, so a reader never
        // sees a stale owner on a free mutex.
        itsLockingThreadID.store(0, std::memory_order_release);
        releaseLock(id);
        return;
    }
    unlockSlowly(id);
}

#endif
