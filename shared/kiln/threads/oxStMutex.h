// Holds one level of a lock for the life of a stack object; can let go
// early (before a slow step) and take it again.
// A holder belongs to the thread that made it; it is not shared.
#ifndef OX_ST_MUTEX_H
#define OX_ST_MUTEX_H

#include "oxMutex.h"
#include "oxSimpleMemMutex.h"
#include "oxThreadAnnotations.h"

// Asks an oxStMutex to take its lock only if that needs no wait.
enum oxTryOnly { oxTryOnly_noWait };

// Inline, so that where the lock's own type is known the whole lock and
// unlock can be compiled in place: framework code takes a lock this way
// on every path.
class OX_SCOPED_CAPABILITY oxStMutex {
public:
    // Locks inMutex; a null mutex, or one that refuses, leaves the holder
    // holding nothing. An exception from the lock leaves no holder behind.
    explicit oxStMutex(oxMutex* inMutex) OX_ACQUIRE(inMutex) : itsMutex(inMutex), itsIsLocked(false) {
        if (itsMutex == nullptr)
            reportNullMutex();
        else
            lock();
    }
    explicit oxStMutex(oxMutex& inMutex) OX_ACQUIRE(inMutex) : oxStMutex(&inMutex) {}
    // Holds the lock only if it was free or already the caller's; never
    // waits and never takes part in deadlock detection.
    // Declared as acquiring: the analysis has no conditional form for a
    // constructor, so the caller's isLocked() test is what counts here.
    oxStMutex(oxSimpleMemMutex& inMutex, oxTryOnly inTryOnly) OX_ACQUIRE(inMutex);
    virtual ~oxStMutex() OX_RELEASE() { unlock(); }

    void lock() OX_ACQUIRE() OX_NO_THREAD_SAFETY_ANALYSIS {
        if (!itsIsLocked && itsMutex != nullptr)
            itsIsLocked = itsMutex->lock();
    }
    void unlock() OX_RELEASE() OX_NO_THREAD_SAFETY_ANALYSIS {
        if (itsIsLocked) {
            itsMutex->unlock();
            itsIsLocked = false;
        }
    }
    bool isLocked() const { return itsIsLocked; }

private:
    oxStMutex(const oxStMutex&) = delete;
    oxStMutex& operator=(const oxStMutex&) = delete;

    static void reportNullMutex();

    oxMutex* itsMutex;
    bool itsIsLocked;
};

#endif
