#include "oxClock.h"

#include <gtest/gtest.h>

#include <ctime>

#include "oxDateTime.h"

namespace {

uint32_t secondsOf(const struct tm& inParts) {
    return oxDateTime::toSeconds(
        static_cast<uint16_t>(inParts.tm_mday), static_cast<uint16_t>(inParts.tm_mon + 1),
        static_cast<uint16_t>(inParts.tm_year + 1900), static_cast<uint16_t>(inParts.tm_hour),
        static_cast<uint16_t>(inParts.tm_min), static_cast<uint16_t>(inParts.tm_sec));
}

struct ClockCase {
    const char* itsName;
    bool itsUTC;
    struct tm* (*itsReference)(const std::time_t*);
};

}  // namespace

// The parts are those of the reading's moment, in the zone asked for: they
// lie between the C library's own parts of a moment just before and one
// just after, in the same zone.
TEST(oxClockTest, PartsOfTheMomentInTheZoneAskedFor) {
    const ClockCase cases[] = {
        {"UTC", true, &std::gmtime},
        {"local", false, &std::localtime},
    };
    for (const ClockCase& test : cases) {
        SCOPED_TRACE(test.itsName);
        const std::time_t before = std::time(nullptr);
        struct tm parts;
        ASSERT_TRUE(readClockParts(test.itsUTC, parts));
        const std::time_t after = std::time(nullptr);

        EXPECT_GE(parts.tm_year + 1900, 2020);
        EXPECT_LE(secondsOf(*test.itsReference(&before)), secondsOf(parts));
        EXPECT_GE(secondsOf(*test.itsReference(&after)), secondsOf(parts));
    }
}
