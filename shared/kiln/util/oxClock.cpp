#include "oxClock.h"

#include "oxWin32.h"

bool readClockParts(bool inUTC, struct tm& outParts) {
    oxTime64 now = _time64(nullptr);
    outParts = {};
    const int failed = inUTC ? _gmtime64_s(&outParts, &now) : _localtime64_s(&outParts, &now);
    return failed == 0;
}
