#include "oxWin32.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/utsname.h>
#endif

#include "oxConsole.h"
#include "oxTestFiles.h"

namespace {

// A path joined with the separator must reach the nested folder: with a
// separator the platform does not use, the file would land beside it,
// named with the separator inside.
TEST(oxPlatformExtrasTest, SeparatorJoinsPathsThePlatformOpens) {
    const std::vector<std::vector<std::string>> folders = {{}, {"a"}, {"a", "b"}, {"a b", "c.d", "e"}};
    const std::string separator(1, getPlatformPathSeparator());
    for (const std::vector<std::string>& nesting : folders) {
        const oxScratchDirectory scratch("oxPlatformExtrasTest");
        std::filesystem::path expected = scratch.getPath();
        std::string joined = scratch.getPath().string();
        for (const std::string& folder : nesting) {
            expected /= folder;
            joined += separator + folder;
        }
        std::filesystem::create_directories(expected);
        joined += separator + "preferences.cfg";
        EXPECT_TRUE(writeFileBytes(joined, "x")) << joined;
        EXPECT_EQ("x", readFileBytes(expected / "preferences.cfg")) << joined;
        // Nothing else in the scratch folder: no file named with the separator.
        size_t entries = 0;
        for (auto it = std::filesystem::recursive_directory_iterator(scratch.getPath());
             it != std::filesystem::recursive_directory_iterator(); ++it)
            ++entries;
        EXPECT_EQ(nesting.size() + 1, entries) << joined;
    }
}

// The read resets the record first: whatever it held before, the result is
// the same, and says Windows exactly where the separator is Windows'.
TEST(oxPlatformExtrasTest, VersionReadIgnoresWhatTheRecordHeld) {
    oxPlatformVersion fresh;
    ASSERT_TRUE(readPlatformVersion(fresh));
    EXPECT_FALSE(fresh.itsSystemName.empty());
    EXPECT_EQ(getPlatformPathSeparator() == '\\', fresh.itsIsWindows);
    const struct {
        bool itsIsWindows;
        unsigned long itsNumbers;
        const char* itsText;
    } stale[] = {{false, 0, ""}, {true, 7, "stale"}, {!fresh.itsIsWindows, ULONG_MAX, "9.9.9-stale"}};
    for (const auto& before : stale) {
        oxPlatformVersion version;
        version.itsIsWindows = before.itsIsWindows;
        version.itsPlatformId = version.itsMajor = version.itsMinor = version.itsBuildNumber =
            before.itsNumbers;
        version.itsProductType = static_cast<int>(before.itsNumbers & 0xFF);
        version.itsIsServerR2 = before.itsIsWindows;
        version.itsSystemName = version.itsBuild = before.itsText;
        ASSERT_TRUE(readPlatformVersion(version)) << before.itsText;
        EXPECT_EQ(fresh.itsIsWindows, version.itsIsWindows) << before.itsText;
        EXPECT_EQ(fresh.itsPlatformId, version.itsPlatformId) << before.itsText;
        EXPECT_EQ(fresh.itsMajor, version.itsMajor) << before.itsText;
        EXPECT_EQ(fresh.itsMinor, version.itsMinor) << before.itsText;
        EXPECT_EQ(fresh.itsBuildNumber, version.itsBuildNumber) << before.itsText;
        EXPECT_EQ(fresh.itsProductType, version.itsProductType) << before.itsText;
        EXPECT_EQ(fresh.itsIsServerR2, version.itsIsServerR2) << before.itsText;
        EXPECT_EQ(fresh.itsSystemName, version.itsSystemName) << before.itsText;
        EXPECT_EQ(fresh.itsBuild, version.itsBuild) << before.itsText;
    }
}

// A hidden answer fed key by key: cursor and function keys add nothing,
// whichever prefix the console gives them with. Byte 224 is a prefix on
// the Windows console only; from a POSIX terminal it begins a UTF-8
// character and is kept.
TEST(oxPlatformExtrasTest, TwoCodeKeysAddNothingToAHiddenAnswer) {
#ifdef _WIN32
    const bool extendedIsPrefix = true;
#else
    const bool extendedIsPrefix = false;
#endif
    struct KeyCase {
        std::vector<int> itsKeys;
        std::string itsAnswer;
        std::string itsAnswerWhere224IsAByte;
    };
    const KeyCase cases[] = {
        {{'p', 224, 'K', 'w', '\r'}, "pw", "p\xe0Kw"},                 // left arrow
        {{'p', 224, 'S', 224, 'M', 'w', '\r'}, "pw", "p\xe0S\xe0Mw"},  // Delete, right arrow
        {{'p', 0, ';', 'w', '\r'}, "pw", "pw"},                        // F1
        {{0, 224, 'x', '\r'}, "x", "x"},                               // a second code of 224 is eaten too
        {{'a', 'b', 0, 'G', 8, 'c', '\r'}, "ac", "ac"},                // Home, then backspace
        {{'p', 0xe0, 0xa4, 0x85, '\r'}, "p\x85", "p\xe0\xa4\x85"},     // UTF-8 on a terminal
    };
    for (const KeyCase& test : cases) {
        size_t next = 0;
        const auto nextKey = [&]() { return next < test.itsKeys.size() ? test.itsKeys[next++] : -1; };
        std::string answer;
        SCOPED_TRACE(test.itsAnswer);
        EXPECT_EQ(oxConsoleAnswer::answered, readHiddenKeys(nextKey, answer));
        EXPECT_EQ(extendedIsPrefix ? test.itsAnswer : test.itsAnswerWhere224IsAByte, answer);
        EXPECT_EQ(test.itsKeys.size(), next);
    }
    // Input that ends between the two codes gives no answer.
    const std::vector<int> cut = {'p', 0};
    size_t next = 0;
    std::string answer;
    EXPECT_EQ(oxConsoleAnswer::ended,
              readHiddenKeys([&]() { return next < cut.size() ? cut[next++] : -1; }, answer));
}

#ifndef _WIN32

struct ReleaseCase {
    const char* itsText;
    bool itsParsed;
    unsigned long itsMajor;
    unsigned long itsMinor;
    const char* itsBuild;
};

TEST(oxPlatformExtrasTest, ReleaseTextSplitsIntoNumbersAndBuild) {
    const ReleaseCase cases[] = {
        {"6.1.0-18-amd64", true, 6, 1, "0-18-amd64"},
        {"6.18.44-fc-v1300", true, 6, 18, "44-fc-v1300"},
        {"4.19.0", true, 4, 19, "0"},
        {"5.10-custom", true, 5, 10, "-custom"},
        {"23.6.0", true, 23, 6, "0"},
        {"6.1", true, 6, 1, ""},
        {"6.1.", true, 6, 1, ""},
        {"7", true, 7, 0, ""},
        {"7-rc1", true, 7, 0, "-rc1"},
        {"3.x", true, 3, 0, ".x"},
        {"99999999999999999999999.2.1", true, ULONG_MAX, 2, "1"},
        {"release-6.1", false, 0, 0, "release-6.1"},
        {"", false, 0, 0, ""},
    };
    for (const ReleaseCase& releaseCase : cases) {
        SCOPED_TRACE(releaseCase.itsText);
        oxPlatformVersion version;
        version.itsMajor = 42;
        version.itsMinor = 42;
        version.itsBuild = "stale";
        version.itsSystemName = "Kept";
        EXPECT_EQ(parseReleaseText(releaseCase.itsText, version), releaseCase.itsParsed);
        EXPECT_EQ(version.itsMajor, releaseCase.itsMajor);
        EXPECT_EQ(version.itsMinor, releaseCase.itsMinor);
        EXPECT_EQ(version.itsBuild, releaseCase.itsBuild);
        EXPECT_EQ(version.itsSystemName, "Kept");
    }
    oxPlatformVersion version;
    version.itsBuild = "stale";
    EXPECT_FALSE(parseReleaseText(nullptr, version));
    EXPECT_EQ(version.itsBuild, "");
}

// Only a bit that lets the group or others read counts; the whole mode
// comes with it.
TEST(oxPlatformExtrasTest, ReadableByOthersNamesTheMode) {
    const oxScratchDirectory scratch("oxPlatformExtrasTest");
    const std::string file = scratch.at("preferences.cfg");
    ASSERT_TRUE(writeFileBytes(file, "x"));
    struct ModeCase {
        mode_t itsMode;
        bool itsReadable;
    };
    const ModeCase cases[] = {{0600, false}, {0620, false}, {0602, false}, {0000, false},
                              {0640, true},  {0604, true},  {0644, true},  {04640, true}};
    for (const ModeCase& test : cases) {
        SCOPED_TRACE(test.itsMode);
        ASSERT_EQ(chmod(file.c_str(), test.itsMode), 0);
        unsigned mode = 0;
        EXPECT_EQ(test.itsReadable, isReadableByOthers(file, mode));
        if (test.itsReadable) {
            EXPECT_EQ(static_cast<unsigned>(test.itsMode), mode);
        }
    }
    unsigned mode = 0;
    EXPECT_FALSE(isReadableByOthers(scratch.at("missing"), mode));
}

#endif

}  // namespace
