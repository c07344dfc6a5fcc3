#include "oxThread.h"

#include <algorithm>
#include <typeinfo>

#include "oxException.h"
#include "oxMainThread.h"
#include "oxPathNames.h"
#include "oxRawAssert.h"
#include "oxStMutex.h"

oxThread::oxThread(oxThread* inParent)
    : itsParent(inParent),
      itsThreadID(0),
      itsWaitingThreadID(0),
      itsThreadState(starting),
      itsStopCode(0),
      itsTimer(1),
      itsHandle(nullptr),
      itsErrorMessage(oxErr_noError, nullptr),
      itsCoInitialized(false),
      itsChildrenMutex(sourceLocation(__FILE__, __LINE__)),
      itsStopEvent(nullptr, true),
      itsStoppedEvent(nullptr, true) {
    if (inParent != nullptr) {
        theMainThread.registerSelf();
        inParent->addChild(this);
    }
}

oxThread::~oxThread() {
    // Let a table operation in progress on another thread end first.
    { oxStMutex lock(itsThreadMapMutex.get()); }
    oxAssert((getThreadState() == starting) || (getThreadState() == stopped));
    oxAssert(!itsCoInitialized);
    if (itsParent != nullptr)
        itsParent->removeChild(this);
    closeHandle();
}

void oxThread::stop(int32_t inStopCode, bool inWait) {
    if (!isAlive())
        return;
    resumeIfSuspended();
    itsStopCode = inStopCode;
    getStopEvent().set();
    if (inWait)
        waitForStop(false);
}

oxEvent& oxThread::getStopEvent() {
    return itsStopEvent;
}

const oxEvent& oxThread::getStopEvent() const {
    return itsStopEvent;
}

oxEvent& oxThread::getStoppedEvent() {
    return itsStoppedEvent;
}

const oxEvent& oxThread::getStoppedEvent() const {
    return itsStoppedEvent;
}

bool oxThread::isStopRequested() const {
    return getStopEvent().isSignaled();
}

bool oxThread::initialize() {
    return true;
}

void oxThread::beforeRun() {}

void oxThread::afterRun() {}

void oxThread::recordException(const std::exception& inException) {
    oxAssert((itsErrorMessage.getErrorValue() == oxErr_noError) ||
             ((typeid(inException) == typeid(oxException)) &&
              (dynamic_cast<const oxException&>(inException)).errorMessage.getErrorValue() ==
                  itsErrorMessage.getErrorValue()));
    itsErrorMessage = errorMessageFromException(inException);
}

DWORD oxThread::getCurrentThreadID() {
    DWORD theThreadID = GetCurrentThreadId();
    // Tested first: this sits under every lock.
    if (theThreadID == 0)
        oxAssert(theThreadID != 0);
    return theThreadID;
}

oxMainThread& oxThread::getMainThread() {
    return theMainThread;
}

oxThread* oxThread::findThread(DWORD inThreadID) {
    oxStMutex lock(itsThreadMapMutex.get());
    // Refused after the teardown: then no thread is found.
    if (!lock.isLocked())
        return nullptr;
    auto iter = itsThreadMap->find(inThreadID);
    return iter != itsThreadMap->end() ? iter->second : nullptr;
}

bool oxThread::tryGetThreadName(DWORD inThreadID, std::string& outName) {
    oxStMutex lock(itsThreadMapMutex.get(), oxTryOnly_noWait);
    if (!lock.isLocked())
        return false;
    auto iter = itsThreadMap->find(inThreadID);
    outName = iter != itsThreadMap->end() ? iter->second->itsName : std::string();
    return true;
}

void oxThread::registerThread(DWORD inThreadID, oxThread* inThread) {
    oxStMutex lock(itsThreadMapMutex.get());
    if (!lock.isLocked() || inThread->getThreadState() == stopped)
        return;
    auto iter = itsThreadMap->find(inThreadID);
    if (iter == itsThreadMap->end()) {
        (*itsThreadMap)[inThreadID] = inThread;
    } else if (iter->second != inThread) {
        oxAssert(false);
        iter->second = inThread;
    }
}

void oxThread::unregisterThread(DWORD inThreadID, oxThread* inThread) {
    oxStMutex lock(itsThreadMapMutex.get());
    if (!lock.isLocked())
        return;
    auto iter = itsThreadMap->find(inThreadID);
    if (iter == itsThreadMap->end())
        return;
    oxThread* thread = inThread;
    oxAssert(iter->second == thread);
    if (iter->second == thread)
        itsThreadMap->erase(iter);
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

bool oxThread::isAlive() const {
    int32_t state = getThreadState();
    return state == running || state == suspended;
}

void oxThread::setThreadState(int32_t inState) {
    oxStMutex lock(itsThreadMapMutex.get());
    if (inState == itsThreadState)
        return;
    itsThreadState = inState;
    if (inState == stopped) {
        getStoppedEvent().set();
        unregisterThread(itsThreadID, this);
    }
}

void oxThread::resumeIfSuspended() {
    if (itsHandle != nullptr && getThreadState() == suspended) {
        setThreadState(running);
        ResumeThread(itsHandle);
    }
}

void oxThread::waitForStop(bool inCancelIfNeeded) {
    DWORD callerID = getCurrentThreadID();
    if (itsHandle == nullptr || callerID == itsThreadID || getThreadState() == stopped)
        return;
    itsWaitingThreadID = callerID;
    if (inCancelIfNeeded) {
        WaitForSingleObject(itsHandle, 250);
        DWORD exitCode = 0;
        if (GetExitCodeThread(itsHandle, &exitCode) && exitCode == STILL_ACTIVE)
            TerminateThread(itsHandle, 0);
    } else {
        WaitForSingleObject(itsHandle, INFINITE);
        oxAssert(inCancelIfNeeded || (getThreadState() == stopped));
    }
}

void oxThread::closeHandle() {
    if (itsHandle != nullptr) {
        CloseHandle(itsHandle);
        itsHandle = nullptr;
    }
}

void oxThread::addChild(oxThread* inChild) {
    oxStMutex lock(itsChildrenMutex);
    itsChildren.push_back(inChild);
}

void oxThread::removeChild(oxThread* inChild) {
    oxStMutex lock(itsChildrenMutex);
    auto found = std::find(itsChildren.begin(), itsChildren.end(), inChild);
    if (found != itsChildren.end())
        itsChildren.erase(found);
}

std::list<oxThread*> oxThread::getChildren() {
    oxStMutex lock(itsChildrenMutex);
    return itsChildren;
}
