// A recursive mutex that refuses a wait which would deadlock: before a
// thread blocks on it, the process-wide wait-for graph is searched, and a
// wait that would close a cycle of waiting threads fails at once with an
// oxException (oxErr_internal, "Detected deadlock. " and the chain).
// Safe for concurrent use. Lock order: a request that must wait takes the
// deadlock bookkeeping lock, innermost of the framework's but for the info
// log's; while it is held only the thread table's lock is tried (never
// waited for) and the info log's taken, to report a deadlock.
#ifndef OX_MEM_MUTEX_H
#define OX_MEM_MUTEX_H

#include <map>
#include <string>

#include "oxSimpleMemMutex.h"

class oxMemMutex : public oxSimpleMemMutex {
public:
    explicit oxMemMutex(const char* inName);
    explicit oxMemMutex(const std::string& inName);
    ~oxMemMutex() override;

    // Creates the bookkeeping lock and the blocked-threads map, once, at
    // static initialisation. Never destroyed: mutexes must still work
    // while other static objects are destroyed at exit.
    static oxSimpleMemMutex* createBookkeepingMutex();
    static std::map<DWORD, oxMemMutex*>* createBlockedThreadsMap();

    // True on a thread that is describing or reporting a deadlock: what it
    // locks meanwhile must not wait (see the info log and thread table).
    static bool isReportingDeadlock();

protected:
    // May throw oxException when waiting would deadlock.
    bool acquireLock(DWORD inThreadID) override;

private:
    // Reads the wait-for graph (oxMemMutexTesting.h).
    friend oxMemMutex* getBlockingMutexForTesting(DWORD inThreadID);
    friend size_t countWaitForEntriesForTesting();

    bool waitForLock(DWORD inThreadID);
    [[noreturn]] void refuseDeadlock(DWORD inThreadID) OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutexPtr);
    // Drops the entries of threads that wait for nothing.
    static void forgetIdleThreads() OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutexPtr);

    // REQUIRES: the bookkeeping lock held. Appends the chain to
    // ioDescription when one is given.
    static bool isDeadlockFree(DWORD inThreadID, oxMemMutex* inMutex, std::string* ioDescription)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutexPtr);
    static std::string describeThread(DWORD inThreadID);
    static std::string describeMutex(const oxMemMutex* inMutex);

    // Guards itsBlockedThreadsMap and every search. A thread's entry is
    // the mutex it waits for, null while it waits for nothing.
    static oxSimpleMemMutex* itsMutexPtr;
    static std::map<DWORD, oxMemMutex*>* itsBlockedThreadsMap OX_PT_GUARDED_BY(itsMutexPtr);
};

#endif
