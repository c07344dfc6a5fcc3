#include "oxFileLock.h"

#include "oxPlatformFiles.h"

oxFileLock::oxFileLock(const std::string& inFileName, uint32_t inMilliseconds,
                       const std::function<bool()>& inStopRequested)
    : itsToken(acquireFileLock(inFileName, inMilliseconds, inStopRequested, &itsFailureReason)) {}

oxFileLock::~oxFileLock() {
    releaseFileLock(itsToken);
}
