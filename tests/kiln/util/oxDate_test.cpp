#include "oxDate.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "oxLogCapture.h"

namespace {

const char* const theMonthCondition = "(itsMonth >= 1) && (itsMonth <= 12)";
const char* const theDayCondition = "(itsDay >= 1) && (itsDay <= days_pr_month[isLeapYear()][itsMonth])";

std::string formatted(const oxDate& inDate, int inStyle, bool inWithYear, bool inShortYear) {
    std::string text;
    return inDate.format(text, inStyle, inWithYear, inShortYear);
}

bool sameDay(const oxDate& inDate, const struct tm& inParts) {
    return inDate.getDay() == inParts.tm_mday && inDate.getMonth() == inParts.tm_mon + 1 &&
           inDate.getYear() == inParts.tm_year + 1900;
}

}  // namespace

TEST(oxDateTest, ConstructionKeepsPartsAndDefaultsTo1900) {
    oxDate unset;
    EXPECT_EQ(1, unset.getDay());
    EXPECT_EQ(1, unset.getMonth());
    EXPECT_EQ(1900, unset.getYear());

    oxDate otherMode(7);
    EXPECT_EQ(1900, otherMode.getYear());
    EXPECT_EQ(0, otherMode.getDayNumber());

    oxDate june(12, 6, 2014);
    EXPECT_EQ(12, june.getDay());
    EXPECT_EQ(6, june.getMonth());
    EXPECT_EQ(2014, june.getYear());

    // Invalid parts are kept as given.
    oxDate invalid(5, 13, 2014);
    EXPECT_EQ(5, invalid.getDay());
    EXPECT_EQ(13, invalid.getMonth());
}

TEST(oxDateTest, LeapYearsFollowTheGregorianRule) {
    EXPECT_FALSE(oxDate::isLeapYear(1900));
    EXPECT_TRUE(oxDate::isLeapYear(2000));
    EXPECT_TRUE(oxDate::isLeapYear(2004));
    EXPECT_FALSE(oxDate::isLeapYear(2014));
    EXPECT_FALSE(oxDate::isLeapYear(2100));
    EXPECT_TRUE(oxDate::isLeapYear(2400));
    EXPECT_TRUE(oxDate(1, 1, 1996).isLeapYear());
    EXPECT_FALSE(oxDate(1, 1, 1997).isLeapYear());

    EXPECT_EQ(29, oxDate::days_pr_month[1][2]);
    EXPECT_EQ(28, oxDate::days_pr_month[0][2]);
    EXPECT_EQ(366, oxDate::days_before_month[1][12]);
    EXPECT_STREQ("Dec", oxDate::month_names[12]);
}

TEST(oxDateTest, DayNumbersCountFrom1900) {
    EXPECT_EQ(0, oxDate(1, 1, 1900).getDayNumber());
    EXPECT_EQ(364, oxDate(31, 12, 1900).getDayNumber());
    EXPECT_EQ(365, oxDate(1, 1, 1901).getDayNumber());
    EXPECT_EQ(25567, oxDate(1, 1, 1970).getDayNumber());
    EXPECT_EQ(36584, oxDate(1, 3, 2000).getDayNumber());
    EXPECT_EQ(-1, oxDate(31, 12, 1899).getDayNumber());
    EXPECT_EQ(-1461, oxDate(1, 1, 1896).getDayNumber());
    EXPECT_EQ(73108, oxDate(1, 3, 2100).getDayNumber());

    // Every year follows the previous one without a gap or an overlap.
    for (uint16_t year = 1700; year <= 2300; ++year) {
        const oxDate lastDay(31, 12, year);
        const oxDate nextDay(1, 1, static_cast<uint16_t>(year + 1));
        ASSERT_EQ(lastDay.getDayNumber() + 1, nextDay.getDayNumber()) << "year " << year;
        const int length = oxDate::isLeapYear(year) ? 366 : 365;
        ASSERT_EQ(length, nextDay.getDayNumber() - oxDate(1, 1, year).getDayNumber()) << "year " << year;
    }
}

TEST(oxDateTest, InvalidMonthsStayInsideTheTables) {
    // Kept invalid months must neither crash nor read beyond the tables.
    EXPECT_EQ(oxDate(1, 1, 2015).getDayNumber(), oxDate(1, 13, 2014).getDayNumber());
    EXPECT_EQ(oxDate(1, 13, 2014).getDayNumber(), oxDate(1, 200, 2014).getDayNumber());
    EXPECT_EQ(oxDate(1, 1, 2014).getDayNumber(), oxDate(1, 0, 2014).getDayNumber());
    EXPECT_EQ(" 5", formatted(oxDate(5, 13, 2014), oxDate_monthName, false, false));
    EXPECT_EQ(" 5, 2014", formatted(oxDate(5, 0, 2014), oxDate_monthName, true, false));
}

TEST(oxDateTest, PartsAreCheckedOnlyWithLevelSix) {
    {
        oxLogCapture capture(6);
        oxDate notLeap(29, 2, 1900);
        const std::string& text = capture.finish();
        EXPECT_EQ(1, countOccurrences(text, "Assertion failed."));
        EXPECT_NE(std::string::npos, text.find(offendingCommand(theDayCondition))) << text;
        EXPECT_NE(std::string::npos, text.find("oxDate.cpp")) << text;
    }
    {
        oxLogCapture capture(6);
        oxDate leap(29, 2, 2000);
        EXPECT_EQ("", capture.finish());
    }
    {
        oxLogCapture capture(6);
        oxDate badMonth(5, 13, 2014);
        const std::string& text = capture.finish();
        EXPECT_EQ(1, countOccurrences(text, "Assertion failed."));
        EXPECT_NE(std::string::npos, text.find(offendingCommand(theMonthCondition))) << text;
        EXPECT_EQ(13, badMonth.getMonth());
    }
    {
        oxLogCapture capture(6);
        oxDate dayZero(0, 1, 2014);
        oxDate dayAfterEnd(31, 4, 2014);
        EXPECT_EQ(2, countOccurrences(capture.finish(), offendingCommand(theDayCondition)));
    }
    {
        oxLogCapture capture(5);
        oxDate notLeap(29, 2, 1900);
        oxDate badMonth(5, 13, 2014);
        EXPECT_EQ("", capture.finish());
    }
}

TEST(oxDateTest, EqualityComparesDayNumbers) {
    EXPECT_TRUE(oxDate(12, 6, 2014) == oxDate(12, 6, 2014));
    EXPECT_FALSE(oxDate(12, 6, 2014) != oxDate(12, 6, 2014));
    EXPECT_TRUE(oxDate(12, 6, 2014) != oxDate(13, 6, 2014));
    EXPECT_TRUE(oxDate(12, 6, 2014) != oxDate(12, 6, 2015));
    EXPECT_TRUE(oxDate() == oxDate(1, 1, 1900));
    // Different parts that name the same day number are equal.
    EXPECT_TRUE(oxDate(32, 1, 2014) == oxDate(1, 2, 2014));
}

TEST(oxDateTest, FormatsEveryStyle) {
    const oxDate june(5, 6, 2014);
    EXPECT_EQ("Jun 5", formatted(june, oxDate_monthName, false, false));
    EXPECT_EQ("Jun 5, 2014", formatted(june, oxDate_monthName, true, false));
    EXPECT_EQ("Jun 5, 14", formatted(june, oxDate_monthName, true, true));
    EXPECT_EQ("06-05", formatted(june, oxDate_iso, false, false));
    EXPECT_EQ("2014-06-05", formatted(june, oxDate_iso, true, false));
    EXPECT_EQ("14-06-05", formatted(june, oxDate_iso, true, true));
    EXPECT_EQ("05.06", formatted(june, oxDate_european, false, false));
    EXPECT_EQ("05.06.2014", formatted(june, oxDate_european, true, false));
    EXPECT_EQ("05.06.14", formatted(june, oxDate_european, true, true));
    EXPECT_EQ("06/05", formatted(june, oxDate_american, false, false));
    EXPECT_EQ("06/05/2014", formatted(june, oxDate_american, true, false));
    EXPECT_EQ("06/05/14", formatted(june, oxDate_american, true, true));
    // The short-year flag means nothing without the year.
    EXPECT_EQ("06-05", formatted(june, oxDate_iso, false, true));
    // Unknown styles use month names.
    EXPECT_EQ("Jun 5, 2014", formatted(june, 4, true, false));
    EXPECT_EQ("Jun 5", formatted(june, -1, false, false));

    const oxDate december(24, 12, 1999);
    EXPECT_EQ("Dec 24", formatted(december, oxDate_monthName, false, false));
    EXPECT_EQ("1999-12-24", formatted(december, oxDate_iso, true, false));
    EXPECT_EQ("24.12.99", formatted(december, oxDate_european, true, true));
}

TEST(oxDateTest, ShortYearsArePaddedFullYearsAreNot) {
    EXPECT_EQ("Jan 3, 05", formatted(oxDate(3, 1, 2005), oxDate_monthName, true, true));
    EXPECT_EQ("00-01-03", formatted(oxDate(3, 1, 2000), oxDate_iso, true, true));
    EXPECT_EQ("03.01.05", formatted(oxDate(3, 1, 2005), oxDate_european, true, true));
    EXPECT_EQ("01/03/05", formatted(oxDate(3, 1, 2005), oxDate_american, true, true));
    EXPECT_EQ("987-01-03", formatted(oxDate(3, 1, 987), oxDate_iso, true, false));
    EXPECT_EQ("01/03/987", formatted(oxDate(3, 1, 987), oxDate_american, true, false));
    EXPECT_EQ("Jan 3, 5", formatted(oxDate(3, 1, 5), oxDate_monthName, true, false));
}

TEST(oxDateTest, FormatReplacesAndReturnsTheOutput) {
    std::string text = "previous content";
    std::string& result = oxDate(5, 6, 2014).format(text, oxDate_iso, true, false);
    EXPECT_EQ(&text, &result);
    EXPECT_EQ("2014-06-05", text);
}

TEST(oxDateTest, NowMatchesTheSystemClock) {
    for (bool utc : {true, false}) {
        const std::time_t before = std::time(nullptr);
        const oxDate now(1, utc);
        const std::time_t after = std::time(nullptr);
        struct tm first = utc ? *std::gmtime(&before) : *std::localtime(&before);
        struct tm last = utc ? *std::gmtime(&after) : *std::localtime(&after);
        EXPECT_TRUE(sameDay(now, first) || sameDay(now, last)) << "utc " << utc;

        oxDate reset(1, 1, 1900);
        reset.setNow(utc);
        EXPECT_TRUE(reset == now || reset.getDayNumber() == now.getDayNumber() + 1);
    }
}
