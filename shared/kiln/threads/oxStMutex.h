// Holds one level of a lock for the life of a stack object; can let go
// early (before a slow step) and take it again.
#ifndef OX_ST_MUTEX_H
#define OX_ST_MUTEX_H

class oxMutex;
class oxSimpleMemMutex;

// Asks an oxStMutex to take its lock only if that needs no wait.
enum oxTryOnly { oxTryOnly_noWait };

class oxStMutex {
public:
    // Locks inMutex; a null mutex, or one that refuses, leaves the holder
    // holding nothing. An exception from the lock leaves no holder behind.
    explicit oxStMutex(oxMutex* inMutex);
    explicit oxStMutex(oxMutex& inMutex) : oxStMutex(&inMutex) {}
    // Holds the lock only if it was free or already the caller's; never
    // waits and never takes part in deadlock detection.
    oxStMutex(oxSimpleMemMutex& inMutex, oxTryOnly inTryOnly);
    virtual ~oxStMutex();

    void lock();
    void unlock();
    bool isLocked() const { return itsIsLocked; }

private:
    oxStMutex(const oxStMutex&) = delete;
    oxStMutex& operator=(const oxStMutex&) = delete;

    oxMutex* itsMutex;
    bool itsIsLocked;
};

#endif
