#include "oxStMutex.h"

#include "oxRawAssert.h"
#include "oxSimpleMemMutex.h"

oxStMutex::oxStMutex(oxSimpleMemMutex& inMutex, oxTryOnly /*inTryOnly*/)
    : itsMutex(&inMutex), itsIsLocked(inMutex.tryLock()) {}

// The report of the failed check "itsMutex" in the constructor, kept out
// of line.
void oxStMutex::reportNullMutex() {
    if (!oxRawLog::isSuppressed(6))
        oxReportAssertion(__FILE__, __LINE__, "itsMutex");
}
