// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "oxTestFiles.h"

namespace {

const uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
const uint64_t kIntervalsPerSecond = 10000000ULL;

// 2021-03-04 05:06:07 UTC, a Thursday.
const time_t kSomeThursday = 1614834367;

uint64_t intervalsOf(const FILETIME& inTime) {
    return (static_cast<uint64_t>(inTime.dwHighDateTime) << 32) | inTime.dwLowDateTime;
}

FILETIME fileTimeOf(uint64_t inIntervals) {
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(inIntervals);
    result.dwHighDateTime = static_cast<DWORD>(inIntervals >> 32);
    return result;
}

// "Y-M-D w h:m:s.ms", so a mismatch shows every field at once.
std::string describe(const SYSTEMTIME& inTime) {
    char text[64];
    std::snprintf(text, sizeof text, "%u-%u-%u %u %u:%u:%u.%u", inTime.wYear, inTime.wMonth, inTime.wDay,
                  inTime.wDayOfWeek, inTime.wHour, inTime.wMinute, inTime.wSecond, inTime.wMilliseconds);
    return text;
}

int makeWritable(const char* inPath, const struct stat* inStatus, int inType, FTW*) {
    if (inType == FTW_D)
        chmod(inPath, inStatus->st_mode | S_IRWXU);
    return 0;
}

int removeEntry(const char* inPath, const struct stat*, int, FTW*) {
    remove(inPath);
    return 0;
}

// A fresh directory per test, removed with everything in it afterwards.
class oxPosixFilesTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/oxFilesXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        itsDirectory = pattern;
    }
    void TearDown() override {
        nftw(itsDirectory.c_str(), makeWritable, 16, FTW_PHYS);
        nftw(itsDirectory.c_str(), removeEntry, 16, FTW_PHYS | FTW_DEPTH);
    }
    std::string at(const std::string& inName) const { return itsDirectory + "/" + inName; }

    // The one entry FindFirstFileA reports for inName; its handle is closed.
    WIN32_FIND_DATAA found(const std::string& inName) {
        WIN32_FIND_DATAA data;
        std::memset(&data, 0xAB, sizeof data);
        HANDLE search = FindFirstFileA(at(inName).c_str(), &data);
        EXPECT_NE(search, INVALID_HANDLE_VALUE) << inName;
        EXPECT_TRUE(FindClose(search));
        EXPECT_FALSE(FindClose(search));
        return data;
    }

    std::string itsDirectory;
};

TEST_F(oxPosixFilesTest, FindFirstFileGivesLastWriteTimeInUtcToTheMillisecond) {
    writeFileBytes(at("dated.cfg"), "12345");
    const timespec times[2] = {{kSomeThursday, 0}, {kSomeThursday, 891234567}};
    ASSERT_EQ(utimensat(AT_FDCWD, at("dated.cfg").c_str(), times, 0), 0);
    ASSERT_EQ(symlink("dated.cfg", at("dated.link").c_str()), 0);
    const uint64_t secondsSince1601 = static_cast<uint64_t>(kSomeThursday) + kSecondsFrom1601To1970;

    // A plain name follows the link to the file, as on Windows.
    for (const char* name : {"dated.cfg", "dated.link"}) {
        SCOPED_TRACE(name);
        const WIN32_FIND_DATAA found = this->found(name);
        EXPECT_EQ(intervalsOf(found.ftLastWriteTime), secondsSince1601 * kIntervalsPerSecond + 8912345);
        EXPECT_EQ(intervalsOf(found.ftLastAccessTime), secondsSince1601 * kIntervalsPerSecond);
        EXPECT_EQ(found.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(found.nFileSizeHigh, 0u);
        EXPECT_EQ(found.nFileSizeLow, 5u);
        EXPECT_STREQ(found.cFileName, name);

        SYSTEMTIME utc;
        ASSERT_TRUE(FileTimeToSystemTime(&found.ftLastWriteTime, &utc));
        EXPECT_EQ(describe(utc), "2021-3-4 4 5:6:7.891");
    }
}

TEST_F(oxPosixFilesTest, FindFirstFileFindsDirectoriesAndOnlyTheOneNamedFile) {
    ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
    writeFileBytes(at("a.cfg"), "a");
    writeFileBytes(at("*.cfg"), "literal");
    writeFileBytes(at("locked.cfg"), "");
    ASSERT_EQ(chmod(at("locked.cfg").c_str(), 0444), 0);

    EXPECT_EQ(found("sub").dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_STREQ(found("sub").cFileName, "sub");
    // "*" is an ordinary character: the file of that name, not a pattern.
    EXPECT_STREQ(found("*.cfg").cFileName, "*.cfg");
    EXPECT_EQ(found("*.cfg").nFileSizeLow, 7u);
    EXPECT_EQ(found("locked.cfg").dwFileAttributes, FILE_ATTRIBUTE_READONLY);

    WIN32_FIND_DATAA found;
    std::memset(&found, 0x5A, sizeof found);
    for (const std::string& name : {at("missing.cfg"), at("?.cfg"), at("sub/"), std::string()}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FindFirstFileA(name.c_str(), &found), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(FindFirstFileA(nullptr, &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.dwFileAttributes, 0x5A5A5A5AU);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(FindClose(nullptr));
}

TEST(oxPosixFilesTimeTest, SystemTimeCoversTheWholeWindowsRange) {
    const uint64_t feb28of1900 = 9440496000ULL * kIntervalsPerSecond;
    const uint64_t lastMillisecondOfDay = 86399999ULL * 10000;
    const struct {
        uint64_t itsIntervals;
        const char* itsExpected;
    } cases[] = {
        {0, "1601-1-1 1 0:0:0.0"},
        // Below a millisecond is cut off, not rounded.
        {9999, "1601-1-1 1 0:0:0.0"},
        {feb28of1900 + lastMillisecondOfDay + 9999, "1900-2-28 3 23:59:59.999"},
        // 1900 is not a leap year, 2000 is.
        {feb28of1900 + 86400 * kIntervalsPerSecond, "1900-3-1 4 0:0:0.0"},
        {(951782400ULL + kSecondsFrom1601To1970) * kIntervalsPerSecond, "2000-2-29 2 0:0:0.0"},
        {0x7FFFFFFFFFFFFFFFULL, "30828-9-14 4 2:48:5.477"},
    };
    for (const auto& conversion : cases) {
        SCOPED_TRACE(conversion.itsExpected);
        const FILETIME time = fileTimeOf(conversion.itsIntervals);
        SYSTEMTIME converted;
        ASSERT_TRUE(FileTimeToSystemTime(&time, &converted));
        EXPECT_EQ(describe(converted), conversion.itsExpected);
    }

    SYSTEMTIME untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    const FILETIME tooLate = fileTimeOf(0x8000000000000000ULL);
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &untouched));
    EXPECT_EQ(untouched.wYear, 0x5A5A);
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &untouched));
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, nullptr));
}

}  // namespace

#endif
