#include "oxDate.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "oxLogCapture.h"

namespace {

const char* const theMonthCondition = "(itsMonth >= 1) && (itsMonth <= 12)";
const char* const theDayCondition = "(itsDay >= 1) && (itsDay <= days_pr_month[isLeapYear()][itsMonth])";

// "D.M.Y", so a mismatch shows every part at once.
std::string partsOf(const oxDate& inDate) {
    return std::to_string(inDate.getDay()) + "." + std::to_string(inDate.getMonth()) + "." +
           std::to_string(inDate.getYear());
}

std::string formatted(const oxDate& inDate, int inStyle, bool inWithYear, bool inShortYear) {
    std::string text;
    return inDate.format(text, inStyle, inWithYear, inShortYear);
}

}  // namespace

TEST(oxDateTest, ConstructionKeepsPartsAndDefaultsTo1900) {
    EXPECT_EQ("1.1.1900", partsOf(oxDate()));
    EXPECT_EQ("1.1.1900", partsOf(oxDate(7)));
    EXPECT_EQ("12.6.2014", partsOf(oxDate(12, 6, 2014)));
    // Invalid parts are kept as given.
    EXPECT_EQ("5.13.2014", partsOf(oxDate(5, 13, 2014)));
}

TEST(oxDateTest, LeapYearsFollowTheGregorianRule) {
    for (uint16_t year : {2000, 2004, 2400})
        EXPECT_TRUE(oxDate::isLeapYear(year)) << year;
    for (uint16_t year : {1900, 2014, 2100})
        EXPECT_FALSE(oxDate::isLeapYear(year)) << year;
    EXPECT_TRUE(oxDate(1, 1, 1996).isLeapYear());
    EXPECT_FALSE(oxDate(1, 1, 1997).isLeapYear());

    EXPECT_EQ(29, oxDate::days_pr_month[1][2]);
    EXPECT_EQ(28, oxDate::days_pr_month[0][2]);
    EXPECT_EQ(366, oxDate::days_before_month[1][12]);
    EXPECT_STREQ("Dec", oxDate::month_names[12]);
}

TEST(oxDateTest, DayNumbersCountFrom1900) {
    const struct {
        oxDate itsDate;
        int32_t itsDayNumber;
    } cases[] = {{oxDate(1, 1, 1900), 0},     {oxDate(31, 12, 1900), 364}, {oxDate(1, 1, 1901), 365},
                 {oxDate(1, 1, 1970), 25567}, {oxDate(1, 3, 2000), 36584}, {oxDate(31, 12, 1899), -1},
                 {oxDate(1, 1, 1896), -1461}, {oxDate(1, 3, 2100), 73108}, {oxDate(7), 0}};
    for (const auto& day : cases)
        EXPECT_EQ(day.itsDayNumber, day.itsDate.getDayNumber()) << partsOf(day.itsDate);

    // Every year follows the previous one without a gap or an overlap.
    for (uint16_t year = 1700; year <= 2300; ++year) {
        const oxDate lastDay(31, 12, year);
        const oxDate nextDay(1, 1, static_cast<uint16_t>(year + 1));
        ASSERT_EQ(lastDay.getDayNumber() + 1, nextDay.getDayNumber()) << "year " << year;
        const int length = oxDate::isLeapYear(year) ? 366 : 365;
        ASSERT_EQ(length, nextDay.getDayNumber() - oxDate(1, 1, year).getDayNumber()) << "year " << year;
    }

    // Kept invalid months must neither crash nor read beyond the tables.
    EXPECT_EQ(oxDate(1, 1, 2015).getDayNumber(), oxDate(1, 13, 2014).getDayNumber());
    EXPECT_EQ(oxDate(1, 13, 2014).getDayNumber(), oxDate(1, 200, 2014).getDayNumber());
    EXPECT_EQ(oxDate(1, 1, 2014).getDayNumber(), oxDate(1, 0, 2014).getDayNumber());
}

TEST(oxDateTest, PartsAreCheckedOnlyWithLevelSix) {
    std::string text = logOf(6, [] { oxDate notLeap(29, 2, 1900); });
    EXPECT_EQ(1, countOccurrences(text, "Assertion failed."));
    EXPECT_EQ(1, countOccurrences(text, offendingCommand(theDayCondition))) << text;
    EXPECT_NE(std::string::npos, text.find("oxDate.cpp")) << text;

    text = logOf(6, [] { oxDate badMonth(5, 13, 2014); });
    EXPECT_EQ(1, countOccurrences(text, "Assertion failed."));
    EXPECT_EQ(1, countOccurrences(text, offendingCommand(theMonthCondition))) << text;

    text = logOf(6, [] { oxDate dayZero(0, 1, 2014), dayAfterEnd(31, 4, 2014); });
    EXPECT_EQ(2, countOccurrences(text, offendingCommand(theDayCondition)));

    EXPECT_EQ("", logOf(6, [] { oxDate leap(29, 2, 2000); }));
    EXPECT_EQ("", logOf(5, [] { oxDate notLeap(29, 2, 1900), badMonth(5, 13, 2014); }));
}

TEST(oxDateTest, EqualityComparesDayNumbers) {
    EXPECT_TRUE(oxDate(12, 6, 2014) == oxDate(12, 6, 2014));
    EXPECT_FALSE(oxDate(12, 6, 2014) != oxDate(12, 6, 2014));
    EXPECT_TRUE(oxDate(12, 6, 2014) != oxDate(13, 6, 2014));
    EXPECT_FALSE(oxDate(12, 6, 2014) == oxDate(12, 6, 2015));
    EXPECT_TRUE(oxDate() == oxDate(1, 1, 1900));
    // Different parts that name the same day number are equal.
    EXPECT_TRUE(oxDate(32, 1, 2014) == oxDate(1, 2, 2014));
}

TEST(oxDateTest, FormatsEveryStyle) {
    // Per style: without the year, with it, with it short.
    const char* const styles[4][3] = {{"Jun 5", "Jun 5, 2014", "Jun 5, 14"},
                                      {"06-05", "2014-06-05", "14-06-05"},
                                      {"05.06", "05.06.2014", "05.06.14"},
                                      {"06/05", "06/05/2014", "06/05/14"}};
    const oxDate june(5, 6, 2014);
    for (int style : {oxDate_monthName, oxDate_iso, oxDate_european, oxDate_american}) {
        EXPECT_EQ(styles[style][0], formatted(june, style, false, false));
        EXPECT_EQ(styles[style][1], formatted(june, style, true, false));
        EXPECT_EQ(styles[style][2], formatted(june, style, true, true));
    }
    // The short-year flag means nothing without the year.
    EXPECT_EQ("06-05", formatted(june, oxDate_iso, false, true));
    // Unknown styles use month names.
    EXPECT_EQ("Jun 5, 2014", formatted(june, 4, true, false));
    EXPECT_EQ("Jun 5", formatted(june, -1, false, false));

    const oxDate december(24, 12, 1999);
    EXPECT_EQ("Dec 24", formatted(december, oxDate_monthName, false, false));
    EXPECT_EQ("1999-12-24", formatted(december, oxDate_iso, true, false));
    EXPECT_EQ("24.12.99", formatted(december, oxDate_european, true, true));
    // An invalid month has no name.
    EXPECT_EQ(" 5", formatted(oxDate(5, 13, 2014), oxDate_monthName, false, false));
    EXPECT_EQ(" 5, 2014", formatted(oxDate(5, 0, 2014), oxDate_monthName, true, false));

    // The output is replaced, not appended to, and returned.
    std::string text = "previous content";
    EXPECT_EQ(&text, &june.format(text, oxDate_iso, true, false));
    EXPECT_EQ("2014-06-05", text);
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

TEST(oxDateTest, NowMatchesTheSystemClock) {
    for (bool utc : {true, false}) {
        const std::time_t before = std::time(nullptr);
        const oxDate now(1, utc);
        const std::time_t after = std::time(nullptr);
        const auto dayAt = [utc](std::time_t inClock) {
            const struct tm parts = utc ? *std::gmtime(&inClock) : *std::localtime(&inClock);
            return partsOf(oxDate(parts.tm_mday, parts.tm_mon + 1, parts.tm_year + 1900));
        };
        EXPECT_TRUE(partsOf(now) == dayAt(before) || partsOf(now) == dayAt(after)) << "utc " << utc;

        oxDate reset(1, 1, 1900);
        reset.setNow(utc);
        EXPECT_TRUE(reset == now || reset.getDayNumber() == now.getDayNumber() + 1);
    }
}
