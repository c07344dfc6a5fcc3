#include "oxThread.h"

#include "oxAssert.h"
#include "oxMainThread.h"
#include "oxSimpleMemMutex.h"
#include "oxStMutex.h"

oxThread::oxThread(oxThread* inParent)
    : itsParent(inParent), itsThreadID(0), itsThreadState(starting) {
    if (inParent != nullptr)
        theMainThread.registerSelf();
}

oxThread::~oxThread() {
    // Let a table operation in progress on another thread end first.
    { oxStMutex lock(itsThreadMapMutex); }
    oxAssert((getThreadState() == starting) || (getThreadState() == stopped));
}

DWORD oxThread::getCurrentThreadID() {
    DWORD theThreadID = GetCurrentThreadId();
    oxAssert(theThreadID != 0);
    return theThreadID;
}

oxMainThread& oxThread::getMainThread() { return theMainThread; }

oxThread* oxThread::findThread(DWORD inThreadID) {
    oxStMutex lock(itsThreadMapMutex);
    auto iter = itsThreadMap.find(inThreadID);
    return iter != itsThreadMap.end() ? iter->second : nullptr;
}

void oxThread::registerThread(DWORD inThreadID, oxThread* inThread) {
    oxStMutex lock(itsThreadMapMutex);
    if (inThread->getThreadState() == stopped)
        return;
    auto iter = itsThreadMap.find(inThreadID);
    if (iter == itsThreadMap.end()) {
        itsThreadMap[inThreadID] = inThread;
    } else if (iter->second != inThread) {
        oxAssert(false);
        iter->second = inThread;
    }
}

void oxThread::unregisterThread(DWORD inThreadID, oxThread* inThread) {
    oxStMutex lock(itsThreadMapMutex);
    auto iter = itsThreadMap.find(inThreadID);
    if (iter == itsThreadMap.end())
        return;
    oxThread* thread = inThread;
    oxAssert(iter->second == thread);
    if (iter->second == thread)
        itsThreadMap.erase(iter);
}

void oxThread::initMainThread() {
    if (!theMainThread.isRegistered()) {
        theMainThread.registerSelf();
        return;
    }
    DWORD callerID = getCurrentThreadID();
    if (callerID != theMainThread.itsThreadID) {
        theMainThread.itsThreadID = callerID;
        registerThread(callerID, &theMainThread);
    }
}

void oxThread::setThreadState(int inState) {
    oxStMutex lock(itsThreadMapMutex);
    if (inState == itsThreadState)
        return;
    itsThreadState = inState;
    if (inState == stopped)
        unregisterThread(itsThreadID, this);
}
