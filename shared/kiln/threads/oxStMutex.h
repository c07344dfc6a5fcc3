// Holds one level of a lock for the life of a stack object; can let go
// early (before a slow step) and take it again.
#ifndef OX_ST_MUTEX_H
#define OX_ST_MUTEX_H

#include "oxMutex.h"

class oxSimpleMemMutex;

// Asks an oxStMutex to take its lock only if that needs no wait.
enum oxTryOnly { oxTryOnly_noWait };

// Inline, so that where the lock's own type is known the whole lock and
// unlock can be compiled in place: framework code takes a lock this way
// on every path.
class oxStMutex {
public:
    // Locks inMutex; a null mutex, or one that refuses, leaves the holder
    // holding nothing. An exception from the lock leaves no holder behind.
    explicit oxStMutex(oxMutex* inMutex) : itsMutex(inMutex), itsIsLocked(false) {
        if (itsMutex == nullptr)
            reportNullMutex();
        else
            lock();
    }
    explicit oxStMutex(oxMutex& inMutex) : oxStMutex(&inMutex) {}
    // Holds the lock only if it was free or already the caller's; never
    // waits and never takes part in deadlock detection.
    oxStMutex(oxSimpleMemMutex& inMutex, oxTryOnly inTryOnly);
    virtual ~oxStMutex() { unlock(); }

    void lock() {
        if (!itsIsLocked && itsMutex != nullptr)
            itsIsLocked = itsMutex->lock();
    }
    void unlock() {
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
