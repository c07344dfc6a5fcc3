// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cerrno>

namespace {

TEST(oxPosixRuntimeTest, SocketStartUpSucceedsWithWindowsVersionFields) {
    WSADATA data{};
    EXPECT_EQ(WSAStartup(0x0002, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0002);
    EXPECT_EQ(data.wHighVersion, 0x0202);

    // Above what Windows offers: capped at 2.2 (low byte major, high minor).
    EXPECT_EQ(WSAStartup(0x0302, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(WSAStartup(0x0003, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
}

TEST(oxPosixRuntimeTest, TimeConversionsMatchTheCRuntimeConventions) {
    const time_t before = time(nullptr);
    oxTime64 stored = 0;
    const oxTime64 now = _time64(&stored);
    EXPECT_EQ(now, stored);
    EXPECT_GE(now, static_cast<oxTime64>(before));
    EXPECT_LE(now, static_cast<oxTime64>(time(nullptr)));
    EXPECT_GE(_time64(nullptr), now);

    // 12 June 2014, 08:05:09 UTC.
    const oxTime64 moment = 1402560309;
    struct tm utc {};
    ASSERT_EQ(_gmtime64_s(&utc, &moment), 0);
    EXPECT_EQ(utc.tm_year, 114);
    EXPECT_EQ(utc.tm_mon, 5);
    EXPECT_EQ(utc.tm_mday, 12);
    EXPECT_EQ(utc.tm_hour, 8);
    EXPECT_EQ(utc.tm_min, 5);
    EXPECT_EQ(utc.tm_sec, 9);

    struct tm local {};
    ASSERT_EQ(_localtime64_s(&local, &moment), 0);
    const time_t plain = static_cast<time_t>(moment);
    struct tm expected {};
    ASSERT_NE(localtime_r(&plain, &expected), nullptr);
    EXPECT_EQ(local.tm_year, expected.tm_year);
    EXPECT_EQ(local.tm_yday, expected.tm_yday);
    EXPECT_EQ(local.tm_hour, expected.tm_hour);
    EXPECT_EQ(local.tm_min, expected.tm_min);
}

TEST(oxPosixRuntimeTest, TimeConversionsRefuseWhatTheCRuntimeRefuses) {
    struct tm result {};
    EXPECT_EQ(_gmtime64_s(nullptr, nullptr), EINVAL);
    EXPECT_EQ(_gmtime64_s(&result, nullptr), EINVAL);
    EXPECT_EQ(result.tm_year, -1);
    EXPECT_EQ(result.tm_mday, -1);

    const oxTime64 beforeEpoch = -1;
    EXPECT_EQ(_localtime64_s(&result, &beforeEpoch), EINVAL);
    EXPECT_EQ(result.tm_hour, -1);
    const oxTime64 afterYear3000 = 32535215999LL + 1;
    EXPECT_EQ(_gmtime64_s(&result, &afterYear3000), EINVAL);

    const oxTime64 last = 32535215999LL;
    ASSERT_EQ(_gmtime64_s(&result, &last), 0);
    EXPECT_EQ(result.tm_year, 1100);
    EXPECT_EQ(result.tm_mon, 11);
    EXPECT_EQ(result.tm_mday, 31);
}

TEST(oxPosixRuntimeTest, NewModeIsRecordedAndReturned) {
    const int original = _set_new_mode(1);
    EXPECT_TRUE(original == 0 || original == 1);
    EXPECT_EQ(_set_new_mode(0), 1);
    errno = 0;
    EXPECT_EQ(_set_new_mode(5), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_set_new_mode(original), 0);
}

}  // namespace

#endif
