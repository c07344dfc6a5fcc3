#include "oxDate.h"

#include <iomanip>

#include "oxClock.h"
#include "oxRawAssert.h"
#include "oxStrStream.h"

const uint16_t oxDate::days_pr_month[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                               {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

const uint16_t oxDate::days_before_month[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

const char* const oxDate::month_names[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

// Leap years from year 400 up to and including inYear. Years are shifted by
// 400 (one full cycle of 97 leap years) so that year 0 needs no negative
// division; only differences of this count are used.
int32_t leapYearsUpTo(int32_t inYear) {
    const int32_t shifted = inYear + 400;
    return shifted / 4 - shifted / 100 + shifted / 400;
}

}  // namespace

oxDate::oxDate(int inMode, bool inUTC) : itsDay(1), itsMonth(1), itsYear(1900) {
    if (inMode == 1)
        setNow(inUTC);
}

oxDate::oxDate(uint16_t inDay, uint16_t inMonth, uint16_t inYear)
    : itsDay(inDay), itsMonth(inMonth), itsYear(inYear) {
    oxAssert((itsMonth >= 1) && (itsMonth <= 12));
    // The month's length is only looked up for a month the table holds.
    if (itsMonth >= 1 && itsMonth <= 12)
        oxAssert((itsDay >= 1) && (itsDay <= days_pr_month[isLeapYear()][itsMonth]));
}

void oxDate::setNow(bool inUTC) {
    struct tm parts;
    if (!readClockParts(inUTC, parts))
        return;
    itsDay = static_cast<uint16_t>(parts.tm_mday);
    itsMonth = static_cast<uint16_t>(parts.tm_mon + 1);
    itsYear = static_cast<uint16_t>(1900 + parts.tm_year);
}

bool oxDate::isLeapYear(uint16_t inYear) {
    if (inYear % 4 != 0)
        return false;
    if (inYear % 100 == 0 && inYear % 400 != 0)
        return false;
    return true;
}

bool oxDate::isLeapYear() const {
    return isLeapYear(itsYear);
}

int32_t oxDate::getDayNumber() const {
    // Leap days are counted by the full Gregorian rule, so that every day
    // has its own number in any year; from 1900 to 2099 this is the plain
    // "every fourth year from 1904 on" count.
    const int32_t year = itsYear;
    int32_t days = (year - 1900) * 365 + (leapYearsUpTo(year - 1) - leapYearsUpTo(1899));
    // An invalid month is kept by the constructor; it must not read outside the table.
    const int monthIndex = itsMonth == 0 ? 0 : (itsMonth > 13 ? 12 : itsMonth - 1);
    days += days_before_month[isLeapYear()][monthIndex];
    days += static_cast<int32_t>(itsDay) - 1;
    return days;
}

bool oxDate::operator==(const oxDate& inOther) const {
    return getDayNumber() == inOther.getDayNumber();
}

bool oxDate::operator!=(const oxDate& inOther) const {
    return !(*this == inOther);
}

std::string& oxDate::format(std::string& outText, int inStyle, bool inWithYear, bool inShortYear) const {
    const unsigned year = inShortYear ? itsYear % 100u : itsYear;
    // A short year always has two digits; a full year is never padded.
    const int yearWidth = inShortYear ? 2 : 0;
    const unsigned day = itsDay;
    const unsigned month = itsMonth;

    oxStrStream stream;
    stream.fill('0');
    switch (inStyle) {
        case oxDate_iso:
            if (inWithYear)
                stream << std::setw(yearWidth) << year << '-';
            stream << std::setw(2) << month << '-' << std::setw(2) << day;
            break;
        case oxDate_european:
            stream << std::setw(2) << day << '.' << std::setw(2) << month;
            if (inWithYear)
                stream << '.' << std::setw(yearWidth) << year;
            break;
        case oxDate_american:
            stream << std::setw(2) << month << '/' << std::setw(2) << day;
            if (inWithYear)
                stream << '/' << std::setw(yearWidth) << year;
            break;
        default:
            // A month outside the table gets the empty name rather than a stray pointer.
            stream << month_names[month <= 12 ? month : 0] << ' ' << day;
            if (inWithYear)
                stream << ", " << std::setw(yearWidth) << year;
            break;
    }
    outText = stream.getText();
    return outText;
}
