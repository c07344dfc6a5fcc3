#include "oxStringServer.h"

#include "oxMessage.h"
#include "oxRawAssert.h"

const char* oxStringServer::getString(int32_t inRef) {
    if (inRef == oxMsg_noRef)
        return "";
    oxAssert(itsStrMap.find(inRef) != itsStrMap.end());
    const auto found = itsStrMap.find(inRef);
    // Callers need a valid C string even for a reference nobody registered.
    return found != itsStrMap.end() ? found->second : "";
}

void oxStringServer::registerString(int32_t inRef, const char* inText) {
    itsStrMap[inRef] = inText != nullptr ? inText : "";
}
