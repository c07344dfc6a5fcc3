// Thread objects and the process-wide thread table that maps operating
// system thread ids to them, so any code can find the calling thread's
// object and reports can name threads.
#ifndef OX_THREAD_H
#define OX_THREAD_H

#include <map>
#include <string>

#include "oxWin32.h"

class oxMainThread;
class oxSimpleMemMutex;

class oxThread {
public:
    enum { starting = 0, running = 1, suspended = 2, stopped = 3 };

    explicit oxThread(oxThread* inParent);
    virtual ~oxThread();

    // The thread body; the main thread's is never called.
    virtual void run() = 0;

    // GetCurrentThreadId; asserts it is not 0.
    static DWORD getCurrentThreadID();
    static oxMainThread& getMainThread();
    // Under the table lock: the object entered for the id, or null.
    static oxThread* findThread(DWORD inThreadID);
    // Under the table lock. A stopped thread is never entered; an id taken
    // by another object is reported and handed over.
    static void registerThread(DWORD inThreadID, oxThread* inThread);
    // Under the table lock; removes the entry only when it is inThread.
    static void unregisterThread(DWORD inThreadID, oxThread* inThread);
    // Binds the main-thread object to the calling thread; a later call
    // from another thread enters it under that id as well.
    static void initMainThread();

    int getThreadState() const { return itsThreadState; }
    bool isAlive() const { return itsThreadState == running || itsThreadState == suspended; }
    // Under the table lock; entering stopped removes the thread from the table.
    void setThreadState(int inState);

    DWORD getThreadID() const { return itsThreadID; }
    const std::string& getName() const { return itsName; }

protected:
    oxThread* itsParent;
    DWORD itsThreadID;
    std::string itsName;
    int itsThreadState;

private:
    oxThread(const oxThread&) = delete;
    oxThread& operator=(const oxThread&) = delete;

    // Constructed in this order (and destroyed in reverse) with the other
    // process-wide objects; the main-thread object comes last.
    static std::map<DWORD, oxThread*> itsThreadMap;
    static oxSimpleMemMutex itsThreadMapMutex;
    static oxMainThread theMainThread;
};

#endif
