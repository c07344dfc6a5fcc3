// Thread objects and the process-wide thread table that maps operating
// system thread ids to them, so any code can find the calling thread's
// object and reports can name threads.
// Safe for concurrent use. Lock order: the thread table's lock first, then
// the events' shared lock, then the deadlock bookkeeping lock; the table's
// lock is released before the info log's is taken. Each thread's children
// list has its own lock, taken inside none of these.
#ifndef OX_THREAD_H
#define OX_THREAD_H

#include <atomic>
#include <exception>
#include <list>
#include <map>
#include <string>

#include "oxErrorMessage.h"
#include "oxMemMutex.h"
#include "oxSingleEvent.h"
#include "oxStaticObject.h"
#include "oxTimer.h"
#include "oxWin32.h"

class oxEvent;
class oxMainThread;

class oxThread {
public:
    enum { starting = 0, running = 1, suspended = 2, stopped = 3 };

    // Registers the main-thread object first when there is a parent, and
    // joins the parent's children. Throws oxException(oxErr_resFull) when
    // its events cannot be created.
    explicit oxThread(oxThread* inParent);
    virtual ~oxThread();

    // Safe from any thread: records the code, sets the stop event and,
    // with inWait, waits for the thread to end.
    virtual void stop(int32_t inStopCode, bool inWait);
    virtual oxEvent& getStopEvent();
    virtual const oxEvent& getStopEvent() const;
    virtual oxEvent& getStoppedEvent();
    virtual const oxEvent& getStoppedEvent() const;
    virtual bool isStopRequested() const;
    // The hooks of a thread body, in the order a thread runs them.
    virtual bool initialize();
    virtual void beforeRun();
    virtual void run() = 0;
    virtual void afterRun();
    // Keeps the error that ended the thread; one error value per thread.
    virtual void recordException(const std::exception& inException);

    // GetCurrentThreadId; asserts it is not 0.
    static DWORD getCurrentThreadID();
    static oxMainThread& getMainThread();
    // Under the table lock (may wait): the object entered for the id, or null.
    static oxThread* findThread(DWORD inThreadID);
    // The name of the thread entered for the id, if the table lock can be
    // had without waiting. For deadlock reports, which must never wait.
    static bool tryGetThreadName(DWORD inThreadID, std::string& outName);
    // Under the table lock. A stopped thread is never entered; an id taken
    // by another object is reported and handed over.
    static void registerThread(DWORD inThreadID, oxThread* inThread);
    // Under the table lock; removes the entry only when it is inThread.
    static void unregisterThread(DWORD inThreadID, oxThread* inThread);
    // Binds the main-thread object to the calling thread; a later call
    // from another thread enters it under that id as well.
    static void initMainThread();

    int32_t getThreadState() const { return itsThreadState.load(); }
    bool isAlive() const;
    // Under the table lock for the whole change; entering stopped signals
    // the stopped event and removes the thread from the table.
    void setThreadState(int32_t inState);
    void resumeIfSuspended();
    // Returns at once for an object without a handle, the thread itself,
    // or a stopped thread. Cancelling waits 250 ms, then ends it by force.
    void waitForStop(bool inCancelIfNeeded);
    void closeHandle();
    // Under the children lock.
    void addChild(oxThread* inChild);
    void removeChild(oxThread* inChild);

    DWORD getThreadID() const { return itsThreadID; }
    DWORD getWaitingThreadID() const { return itsWaitingThreadID; }
    int32_t getStopCode() const { return itsStopCode.load(); }
    const std::string& getName() const { return itsName; }
    const oxErrorMessage& getErrorMessage() const { return itsErrorMessage; }
    // A copy, under the children lock.
    std::list<oxThread*> getChildren();

protected:
    oxThread* itsParent;
    DWORD itsThreadID;
    DWORD itsWaitingThreadID;
    std::string itsName;
    // Written under the table lock, read without it, hence atomic.
    std::atomic<int32_t> itsThreadState;
    // Written by stop on any thread, read without a lock, hence atomic.
    std::atomic<int32_t> itsStopCode;
    oxTimer itsTimer;
    HANDLE itsHandle;
    oxErrorMessage itsErrorMessage;
    bool itsCoInitialized;
    oxMemMutex itsChildrenMutex;
    std::list<oxThread*> itsChildren OX_GUARDED_BY(itsChildrenMutex);
    oxSingleEvent itsStopEvent;
    oxSingleEvent itsStoppedEvent;

private:
    oxThread(const oxThread&) = delete;
    oxThread& operator=(const oxThread&) = delete;

    // Constructed in this order (and destroyed in reverse) with the other
    // process-wide objects; the main-thread object comes last.
    // Never destroyed: a caller inside the table lock at the teardown still
    // uses it.
    static oxNeverDestroyed<std::map<DWORD, oxThread*>> itsThreadMap OX_GUARDED_BY(itsThreadMapMutex.get());
    static oxStaticObject<oxMemMutex> itsThreadMapMutex;
    static oxMainThread theMainThread;
};

#endif
