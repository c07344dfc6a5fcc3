#include "oxDateTime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "oxLogCapture.h"

// Only mode 1 reads the clock; any other mode, whatever the clock flag,
// leaves the moment at zero.
TEST(oxDateTimeTest, OnlyModeOneReadsTheClock) {
    const struct {
        int itsMode;
        bool itsUTC;
        bool itsReadsClock;
    } cases[] = {{0, false, false}, {0, true, false}, {2, true, false},   {-1, true, false},
                 {1, true, true},   {1, false, true}, {100, false, false}};
    for (const auto& testCase : cases) {
        const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
        const oxDateTime moment(testCase.itsMode, testCase.itsUTC);
        if (!testCase.itsReadsClock)
            EXPECT_EQ(0u, moment.getSeconds()) << testCase.itsMode << " " << testCase.itsUTC;
        else if (testCase.itsUTC)
            EXPECT_LE(before, moment.getSeconds());
        else
            EXPECT_NE(0u, moment.getSeconds());
    }
}

TEST(oxDateTimeTest, SecondsSince1970) {
    EXPECT_EQ(0u, oxDateTime::toSeconds(1, 1, 1970, 0, 0, 0));
    EXPECT_EQ(86401u, oxDateTime::toSeconds(2, 1, 1970, 0, 0, 1));
    EXPECT_EQ(1402560309u, oxDateTime::toSeconds(12, 6, 2014, 8, 5, 9));
    EXPECT_EQ(946684799u, oxDateTime::toSeconds(31, 12, 1999, 23, 59, 59));
    EXPECT_EQ(951825600u, oxDateTime::toSeconds(29, 2, 2000, 12, 0, 0));
    EXPECT_EQ(4107542400u, oxDateTime::toSeconds(1, 3, 2100, 0, 0, 0));
    // The last second that 32 bits hold, and the wrap right after it.
    EXPECT_EQ(4294967295u, oxDateTime::toSeconds(7, 2, 2106, 6, 28, 15));
    EXPECT_EQ(0u, oxDateTime::toSeconds(7, 2, 2106, 6, 28, 16));
}

TEST(oxDateTimeTest, MomentsBefore1970AreZero) {
    EXPECT_EQ(0u, oxDateTime::toSeconds(31, 12, 1969, 23, 59, 59));
    EXPECT_EQ(0u, oxDateTime::toSeconds(1, 1, 1900, 12, 0, 0) + oxDateTime::toSeconds(15, 7, 1850, 1, 2, 3));
}

TEST(oxDateTimeTest, PartsAreCheckedOnlyWithLevelSix) {
    const char* const condition = "inHour < 24 && inMinute < 60 && inSecond < 60";
    const uint32_t expected[3] = {86400u, 3600u, 60u};
    for (int part = 0; part < 3; ++part) {
        oxLogCapture capture(6);
        const uint32_t seconds =
            oxDateTime::toSeconds(1, 1, 1970, part == 0 ? 24 : 0, part == 1 ? 60 : 0, part == 2 ? 60 : 0);
        const std::string& text = capture.finish();
        EXPECT_EQ(1, countOccurrences(text, "Assertion failed.")) << text;
        EXPECT_NE(std::string::npos, text.find(offendingCommand(condition))) << text;
        EXPECT_NE(std::string::npos, text.find("oxDateTime.cpp")) << text;
        // The report does not stop the computation.
        EXPECT_EQ(expected[part], seconds);
    }
    // The date's own checks apply too.
    EXPECT_NE(std::string::npos,
              logOf(6, [] { oxDateTime::toSeconds(30, 2, 2014, 0, 0, 0); }).find("itsDay <= days_pr_month"));
    EXPECT_EQ("", logOf(6, [] { oxDateTime::toSeconds(28, 2, 2014, 23, 59, 59); }));
    EXPECT_EQ("", logOf(5, [] { oxDateTime::toSeconds(30, 2, 2014, 24, 60, 60); }));
}

// A copy is a value of its own: changing the original or the copy leaves
// the other, and == and != always disagree.
TEST(oxDateTimeTest, CopiesAreIndependentAndCompareBySeconds) {
    const oxDateTime zero;
    const oxDateTime now(1, true);
    ASSERT_NE(0u, now.getSeconds());
    oxDateTime copyOfNow = now;
    oxDateTime assigned;
    assigned = now;
    oxDateTime reset = now;
    reset = zero;
    oxDateTime readAgain = zero;
    readAgain.setNow(true);
    const struct {
        const char* itsName;
        const oxDateTime& itsFirst;
        const oxDateTime& itsSecond;
        bool itsEqual;
    } pairs[] = {
        {"zero, zero", zero, oxDateTime(), true},
        {"zero, now", zero, now, false},
        {"copy", copyOfNow, now, true},
        {"assigned", assigned, now, true},
        {"reset copy", reset, zero, true},
        {"original after reset", now, reset, false},
        {"copy read again", readAgain, zero, false},
        {"mode 0 with UTC", zero, oxDateTime(0, true), true},
    };
    for (const auto& pair : pairs) {
        EXPECT_EQ(pair.itsEqual, pair.itsFirst == pair.itsSecond) << pair.itsName;
        EXPECT_EQ(pair.itsEqual, pair.itsSecond == pair.itsFirst) << pair.itsName;
        EXPECT_NE(pair.itsFirst == pair.itsSecond, pair.itsFirst != pair.itsSecond) << pair.itsName;
    }
    EXPECT_EQ(now.getSeconds(), copyOfNow.getSeconds());
    EXPECT_EQ(0u, zero.getSeconds());
}

TEST(oxDateTimeTest, NowMatchesTheSystemClock) {
    const std::time_t before = std::time(nullptr);
    const oxDateTime utc(1, true);
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(utc.getSeconds(), static_cast<uint32_t>(before));
    EXPECT_LE(utc.getSeconds(), static_cast<uint32_t>(after));

    // Local time differs from UTC by a whole zone offset of at most 14 hours.
    oxDateTime local;
    local.setNow(false);
    oxDateTime utcAgain;
    utcAgain.setNow(true);
    const long long offset = static_cast<long long>(local.getSeconds()) - utcAgain.getSeconds();
    EXPECT_LE(offset, 14 * 3600 + 2);
    EXPECT_GE(offset, -14 * 3600 - 2);
}
