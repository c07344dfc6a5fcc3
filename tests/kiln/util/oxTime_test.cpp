#include "oxTime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

oxTime timeOf(uint16_t inHour, uint16_t inMinute, uint16_t inSecond, uint16_t inMillisecond = 0) {
    oxTime time;
    time.init(inHour, inMinute, inSecond, inMillisecond);
    return time;
}

// "h:m:s.ms", so a mismatch shows every part at once.
std::string partsOf(const oxTime& inTime) {
    return std::to_string(inTime.getHour()) + ":" + std::to_string(inTime.getMinute()) + ":" +
           std::to_string(inTime.getSecond()) + "." + std::to_string(inTime.getMillisecond());
}

std::string formatted(const oxTime& inTime, const char* inSeparator, bool inWithSeconds, bool in24Hour) {
    std::string text;
    return inTime.format(text, inSeparator, inWithSeconds, in24Hour);
}

}  // namespace

TEST(oxTimeTest, PartsAndMilliseconds) {
    EXPECT_EQ("0:0:0.0", partsOf(oxTime()));
    EXPECT_EQ(0u, oxTime().toMilliseconds());
    EXPECT_EQ(0u, oxTime(2).toMilliseconds());

    EXPECT_EQ("12:30:5.250", partsOf(timeOf(12, 30, 5, 250)));
    EXPECT_EQ(45005250u, timeOf(12, 30, 5, 250).toMilliseconds());
    EXPECT_EQ(86399999u, timeOf(23, 59, 59, 999).toMilliseconds());
    // init does not check its parts.
    EXPECT_EQ(99u * 3600000u, timeOf(99, 0, 0).toMilliseconds());
}

TEST(oxTimeTest, EqualityIncludesMilliseconds) {
    EXPECT_TRUE(timeOf(12, 30, 0, 250) != timeOf(12, 30, 0, 0));
    EXPECT_FALSE(timeOf(12, 30, 0, 250) == timeOf(12, 30, 0, 0));
    EXPECT_TRUE(timeOf(12, 30, 0, 250) == timeOf(12, 30, 0, 250));
    EXPECT_TRUE(timeOf(12, 30, 1) != timeOf(12, 30, 0));
    EXPECT_TRUE(timeOf(0, 0, 0) == oxTime());
    // Equal totals are equal times, however the parts are spread.
    EXPECT_TRUE(timeOf(0, 0, 1, 0) == timeOf(0, 0, 0, 1000));
}

TEST(oxTimeTest, FormatsTwentyFourHours) {
    const oxTime morning = timeOf(8, 5, 9, 700);
    EXPECT_EQ("08:05:09", formatted(morning, ":", true, true));
    EXPECT_EQ("08:05", formatted(morning, ":", false, true));
    EXPECT_EQ("08.05.09", formatted(morning, ".", true, true));
    EXPECT_EQ("08 h 05 h 09", formatted(morning, " h ", true, true));
    EXPECT_EQ("080509", formatted(morning, "", true, true));
    EXPECT_EQ("080509", formatted(morning, nullptr, true, true));
    EXPECT_EQ("00:00:00", formatted(oxTime(), ":", true, true));
    EXPECT_EQ("23:59:59", formatted(timeOf(23, 59, 59, 999), ":", true, true));
}

TEST(oxTimeTest, FormatsTwelveHours) {
    EXPECT_EQ("8:05:09 AM", formatted(timeOf(8, 5, 9), ":", true, false));
    EXPECT_EQ("8:05 PM", formatted(timeOf(20, 5, 0), ":", false, false));
    EXPECT_EQ("12:00:00 AM", formatted(timeOf(0, 0, 0), ":", true, false));
    EXPECT_EQ("12:30 AM", formatted(timeOf(0, 30, 0), ":", false, false));
    EXPECT_EQ("1:00 AM", formatted(timeOf(1, 0, 0), ":", false, false));
    EXPECT_EQ("11:59:59 AM", formatted(timeOf(11, 59, 59, 999), ":", true, false));
    EXPECT_EQ("12:00 PM", formatted(timeOf(12, 0, 0), ":", false, false));
    EXPECT_EQ("1:00 PM", formatted(timeOf(13, 0, 0), ":", false, false));
    EXPECT_EQ("11:59 PM", formatted(timeOf(23, 59, 0), ":", false, false));
    EXPECT_EQ("10.07.03 PM", formatted(timeOf(22, 7, 3), ".", true, false));
}

TEST(oxTimeTest, FormatReplacesAndReturnsTheOutput) {
    std::string text = "previous content that is longer";
    std::string& result = timeOf(8, 5, 9).format(text, ":", true, true);
    EXPECT_EQ(&text, &result);
    EXPECT_EQ("08:05:09", text);
}

TEST(oxTimeTest, NowMatchesTheSystemClock) {
    for (bool utc : {true, false}) {
        const std::time_t before = std::time(nullptr);
        oxTime now(1, utc);
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(0, now.getMillisecond());

        bool matched = false;
        for (std::time_t moment = before; moment <= after && !matched; ++moment) {
            const struct tm parts = utc ? *std::gmtime(&moment) : *std::localtime(&moment);
            matched = now.getHour() == parts.tm_hour && now.getMinute() == parts.tm_min &&
                      now.getSecond() == parts.tm_sec;
        }
        EXPECT_TRUE(matched) << "utc " << utc << ": " << now.getHour() << ":" << now.getMinute() << ":"
                             << now.getSecond();

        oxTime reset = timeOf(1, 2, 3, 4);
        reset.setNow(utc);
        EXPECT_EQ(0, reset.getMillisecond());
        EXPECT_LT(reset.getHour(), 24);
    }
}
