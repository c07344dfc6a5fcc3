#include "oxFileLock.h"

#include "oxPlatformFiles.h"

oxFileLock::oxFileLock(const std::string& inFileName, uint32_t inMilliseconds)
    : itsToken(acquireFileLock(inFileName, inMilliseconds)) {}

oxFileLock::~oxFileLock() {
    releaseFileLock(itsToken);
}
