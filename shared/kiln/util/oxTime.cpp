#include "oxTime.h"

#include <iomanip>

#include "oxClock.h"
#include "oxStrStream.h"

oxTime::oxTime(int inMode, bool inUTC) : itsHour(0), itsMinute(0), itsSecond(0), itsMillisecond(0) {
    if (inMode == 1)
        setNow(inUTC);
}

void oxTime::init(uint16_t inHour, uint16_t inMinute, uint16_t inSecond, uint16_t inMillisecond) {
    itsHour = inHour;
    itsMinute = inMinute;
    itsSecond = inSecond;
    itsMillisecond = inMillisecond;
}

void oxTime::setNow(bool inUTC) {
    struct tm parts;
    if (!readClockParts(inUTC, parts))
        return;
    itsHour = static_cast<uint16_t>(parts.tm_hour);
    itsMinute = static_cast<uint16_t>(parts.tm_min);
    itsSecond = static_cast<uint16_t>(parts.tm_sec);
    itsMillisecond = 0;
}

uint32_t oxTime::toMilliseconds() const {
    const uint32_t seconds = itsHour * 3600u + itsMinute * 60u + itsSecond;
    return seconds * 1000u + itsMillisecond;
}

bool oxTime::operator==(const oxTime& inOther) const {
    return toMilliseconds() == inOther.toMilliseconds();
}

bool oxTime::operator!=(const oxTime& inOther) const {
    return !(*this == inOther);
}

std::string& oxTime::format(std::string& outText, const char* inSeparator, bool inWithSeconds,
                            bool in24Hour) const {
    const char* separator = inSeparator ? inSeparator : "";
    const unsigned hour = itsHour;

    oxStrStream stream;
    stream.fill('0');
    if (in24Hour) {
        stream << std::setw(2) << hour;
    } else if (hour == 0) {
        stream << 12u;
    } else {
        stream << (hour <= 12 ? hour : hour - 12);
    }
    stream << separator << std::setw(2) << static_cast<unsigned>(itsMinute);
    if (inWithSeconds)
        stream << separator << std::setw(2) << static_cast<unsigned>(itsSecond);
    if (!in24Hour)
        stream << ' ' << (hour < 12 ? "AM" : "PM");
    outText = stream.getText();
    return outText;
}
