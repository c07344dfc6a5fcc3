// The socket start-up and the Microsoft C runtime calls the framework
// uses, on POSIX.
#include "oxPosixWin32.h"

#include <time.h>

#include <atomic>
#include <cerrno>

namespace {

const WORD kHighestSocketVersion = 0x0202;

// The latest moment the Microsoft runtime converts: 3000-12-31 23:59:59 UTC.
const oxTime64 kLatestConvertibleTime = 32535215999LL;

std::atomic<int> theNewMode{0};

bool isAboveHighestSocketVersion(WORD inVersion) {
    const int major = inVersion & 0xFF;
    const int minor = (inVersion >> 8) & 0xFF;
    return major > 2 || (major == 2 && minor > 2);
}

void markRefused(struct tm* outTime) {
    *outTime = tm{};
    outTime->tm_sec = -1;
    outTime->tm_min = -1;
    outTime->tm_hour = -1;
    outTime->tm_mday = -1;
    outTime->tm_mon = -1;
    outTime->tm_year = -1;
    outTime->tm_wday = -1;
    outTime->tm_yday = -1;
    outTime->tm_isdst = -1;
}

typedef struct tm* (*TimeConversion)(const time_t*, struct tm*);

int convertTime(struct tm* outTime, const oxTime64* inTime, TimeConversion inConvert) {
    if (outTime == nullptr) {
        return EINVAL;
    }
    markRefused(outTime);
    if (inTime == nullptr || *inTime < 0 || *inTime > kLatestConvertibleTime) {
        return EINVAL;
    }
    const time_t seconds = static_cast<time_t>(*inTime);
    if (static_cast<oxTime64>(seconds) != *inTime) {
        return EINVAL;
    }
    struct tm converted {};
    errno = 0;
    if (inConvert(&seconds, &converted) == nullptr) {
        return errno != 0 ? errno : EINVAL;
    }
    *outTime = converted;
    return 0;
}

}  // namespace

int WSAStartup(WORD inVersionRequested, LPWSADATA outData) {
    if (outData != nullptr) {
        outData->wVersion =
            isAboveHighestSocketVersion(inVersionRequested) ? kHighestSocketVersion : inVersionRequested;
        outData->wHighVersion = kHighestSocketVersion;
    }
    return 0;
}

oxTime64 _time64(oxTime64* outTime) {
    const time_t now = time(nullptr);
    const oxTime64 result = now == static_cast<time_t>(-1) ? -1 : static_cast<oxTime64>(now);
    if (outTime != nullptr) {
        *outTime = result;
    }
    return result;
}

int _localtime64_s(struct tm* outTime, const oxTime64* inTime) {
    return convertTime(outTime, inTime, localtime_r);
}

int _gmtime64_s(struct tm* outTime, const oxTime64* inTime) {
    return convertTime(outTime, inTime, gmtime_r);
}

int _set_new_mode(int inMode) {
    if (inMode != 0 && inMode != 1) {
        errno = EINVAL;
        return -1;
    }
    return theNewMode.exchange(inMode);
}
