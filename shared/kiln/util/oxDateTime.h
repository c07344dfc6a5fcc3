// A moment as whole seconds since 1 January 1970 00:00:00 of the clock it
// was read from; 0 also stands for any moment before 1970.
// Not safe for concurrent use of one object (a plain value); takes no lock.
#ifndef OX_DATE_TIME_H
#define OX_DATE_TIME_H

#include <cstdint>

class oxDateTime {
public:
    // itsSeconds 0; inMode 1 then reads the clock (UTC or local).
    explicit oxDateTime(int inMode = 0, bool inUTC = false);

    // Date and time come from one clock reading, so a reading at midnight
    // cannot pair one day's date with the next day's time. 0 when the
    // clock cannot be converted.
    void setNow(bool inUTC);

    // Seconds since 1970 for the given parts; 0 before 1970. 32-bit
    // unsigned arithmetic: the result wraps after 2106. With level 6
    // enabled, parts out of range are reported as assertions.
    static uint32_t toSeconds(uint16_t inDay, uint16_t inMonth, uint16_t inYear, uint16_t inHour,
                              uint16_t inMinute, uint16_t inSecond);

    uint32_t getSeconds() const { return itsSeconds; }

    bool operator==(const oxDateTime& inOther) const;
    bool operator!=(const oxDateTime& inOther) const;

private:
    uint32_t itsSeconds;
};

#endif
