#include "oxStMutex.h"

#include "oxAssert.h"
#include "oxMutex.h"
#include "oxSimpleMemMutex.h"

oxStMutex::oxStMutex(oxMutex* inMutex) : itsMutex(inMutex), itsIsLocked(false) {
    oxAssert(itsMutex);
    if (itsMutex != nullptr)
        lock();
}

oxStMutex::oxStMutex(oxSimpleMemMutex& inMutex, oxTryOnly /*inTryOnly*/)
    : itsMutex(&inMutex), itsIsLocked(inMutex.tryLock()) {}

oxStMutex::~oxStMutex() { unlock(); }

void oxStMutex::lock() {
    if (!itsIsLocked && itsMutex != nullptr)
        itsIsLocked = itsMutex->lock();
}

void oxStMutex::unlock() {
    if (itsIsLocked) {
        itsMutex->unlock();
        itsIsLocked = false;
    }
}
