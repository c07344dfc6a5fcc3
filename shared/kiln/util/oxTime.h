// A time of day to the millisecond as a plain value.
// Not safe for concurrent use of one object (a plain value); takes no lock.
#ifndef OX_TIME_H
#define OX_TIME_H

#include <cstdint>
#include <string>

class oxTime {
public:
    // All parts 0; inMode 1 then reads the clock (UTC or local).
    explicit oxTime(int inMode = 0, bool inUTC = false);

    // Stores the parts without checks.
    void init(uint16_t inHour, uint16_t inMinute, uint16_t inSecond, uint16_t inMillisecond);

    // Whole seconds from the clock; the milliseconds become 0. Leaves the
    // time unchanged when the clock cannot be converted.
    void setNow(bool inUTC);

    uint32_t toMilliseconds() const;

    bool operator==(const oxTime& inOther) const;
    bool operator!=(const oxTime& inOther) const;

    // Replaces outText with "HH<sep>MM[<sep>SS]" (24 hours) or
    // "H<sep>MM[<sep>SS] AM|PM" (12 hours). Milliseconds are never written.
    // A null inSeparator counts as the empty text.
    std::string& format(std::string& outText, const char* inSeparator, bool inWithSeconds,
                        bool in24Hour) const;

    uint16_t getHour() const { return itsHour; }
    uint16_t getMinute() const { return itsMinute; }
    uint16_t getSecond() const { return itsSecond; }
    uint16_t getMillisecond() const { return itsMillisecond; }

private:
    uint16_t itsHour;
    uint16_t itsMinute;
    uint16_t itsSecond;
    uint16_t itsMillisecond;
};

#endif
