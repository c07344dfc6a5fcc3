#include "oxDateTime.h"

#include "oxClock.h"
#include "oxDate.h"
#include "oxRawAssert.h"

namespace {

// Day number of 1 January 1970.
const int32_t theEpochDayNumber = 25567;

}  // namespace

oxDateTime::oxDateTime(int inMode, bool inUTC) : itsSeconds(0) {
    if (inMode == 1)
        setNow(inUTC);
}

void oxDateTime::setNow(bool inUTC) {
    struct tm parts;
    if (!readClockParts(inUTC, parts)) {
        // What an unread date (1 January 1900) and time (midnight) give.
        itsSeconds = 0;
        return;
    }
    itsSeconds = toSeconds(static_cast<uint16_t>(parts.tm_mday), static_cast<uint16_t>(parts.tm_mon + 1),
                           static_cast<uint16_t>(1900 + parts.tm_year), static_cast<uint16_t>(parts.tm_hour),
                           static_cast<uint16_t>(parts.tm_min), static_cast<uint16_t>(parts.tm_sec));
}

uint32_t oxDateTime::toSeconds(uint16_t inDay, uint16_t inMonth, uint16_t inYear, uint16_t inHour,
                               uint16_t inMinute, uint16_t inSecond) {
    oxAssert(inHour < 24 && inMinute < 60 && inSecond < 60);
    const int32_t dayNumber = oxDate(inDay, inMonth, inYear).getDayNumber();
    if (dayNumber < theEpochDayNumber)
        return 0;
    const uint32_t days = static_cast<uint32_t>(dayNumber - theEpochDayNumber);
    return days * 86400u + inHour * 3600u + inMinute * 60u + inSecond;
}

bool oxDateTime::operator==(const oxDateTime& inOther) const {
    return itsSeconds == inOther.itsSeconds;
}

bool oxDateTime::operator!=(const oxDateTime& inOther) const {
    return !(*this == inOther);
}
