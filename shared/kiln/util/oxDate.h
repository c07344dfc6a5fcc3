// A calendar day as a plain value: day, month and full year.
// Not safe for concurrent use of one object (a plain value); takes no lock.
#ifndef OX_DATE_H
#define OX_DATE_H

#include <cstdint>
#include <string>

// Styles for oxDate::format; any other value formats like oxDate_monthName.
const int oxDate_monthName = 0;  // "Jun 5", "Jun 5, 2014"
const int oxDate_iso = 1;        // "06-05", "2014-06-05"
const int oxDate_european = 2;   // "05.06", "05.06.2014"
const int oxDate_american = 3;   // "06/05", "06/05/2014"

class oxDate {
public:
    // Indexed by the leap flag and the month; index 0 of each row is 0.
    static const uint16_t days_pr_month[2][13];
    // Indexed by the leap flag and month - 1; the last entry is the year's length.
    static const uint16_t days_before_month[2][13];
    // Indexed by the month; index 0 is the empty name.
    static const char* const month_names[13];

    // inMode 1 reads the clock (UTC or local); anything else gives 1 January 1900.
    explicit oxDate(int inMode = 0, bool inUTC = false);
    // Keeps the parts as given, even invalid ones; with level 6 enabled
    // an invalid month or day is reported as an assertion.
    oxDate(uint16_t inDay, uint16_t inMonth, uint16_t inYear);

    // Leaves the date unchanged when the clock cannot be converted.
    void setNow(bool inUTC);

    static bool isLeapYear(uint16_t inYear);
    bool isLeapYear() const;

    // Days since 1 January 1900 (day 0); earlier dates are negative.
    int32_t getDayNumber() const;

    bool operator==(const oxDate& inOther) const;
    bool operator!=(const oxDate& inOther) const;

    // Replaces outText with the date in inStyle; inShortYear writes the
    // year modulo 100 as two digits.
    std::string& format(std::string& outText, int inStyle, bool inWithYear, bool inShortYear) const;

    uint16_t getDay() const { return itsDay; }
    uint16_t getMonth() const { return itsMonth; }
    uint16_t getYear() const { return itsYear; }

private:
    uint16_t itsDay;
    uint16_t itsMonth;
    uint16_t itsYear;
};

#endif
