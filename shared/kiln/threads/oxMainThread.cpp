#include "oxMainThread.h"

#include <cstdint>
#include <cstdlib>

#include "oxRawAssert.h"
#include "oxTimer.h"

oxMainThread::oxMainThread() : oxThread(nullptr), itsIsRegistered(false) {
    itsThreadState = running;
    // Seeded twice: the object's address alone repeats between runs.
    srand(static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    srand(static_cast<unsigned>(rand()) ^ oxTimer::currentTicks());
}

oxMainThread::~oxMainThread() {
    if (itsCoInitialized) {
        CoUninitialize();
        itsCoInitialized = false;
    }
    // Stopped directly: no stopped event, no table change through the state.
    itsThreadState = stopped;
    if (itsIsRegistered)
        unregisterThread(itsThreadID, this);
}

void oxMainThread::run() {
    oxAssert(false);
}

void oxMainThread::registerSelf() {
    if (itsIsRegistered)
        return;
    itsThreadID = getCurrentThreadID();
    registerThread(itsThreadID, this);
    itsIsRegistered = true;
}
