#include "oxWin32.h"

#include <gtest/gtest.h>

#include <climits>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/utsname.h>
#endif

#include "oxTestFiles.h"

namespace {

TEST(oxPlatformExtrasTest, VersionAndSeparatorAgreeOnThePlatform) {
    oxPlatformVersion version;
    version.itsBuild = "stale";
    ASSERT_TRUE(readPlatformVersion(version));
    EXPECT_EQ(getPlatformPathSeparator(), version.itsIsWindows ? '\\' : '/');
    EXPECT_FALSE(version.itsSystemName.empty());
#ifndef _WIN32
    struct utsname names;
    ASSERT_EQ(uname(&names), 0);
    EXPECT_FALSE(version.itsIsWindows);
    EXPECT_EQ(version.itsSystemName, names.sysname);
    oxPlatformVersion parsed;
    parseReleaseText(names.release, parsed);
    EXPECT_EQ(version.itsMajor, parsed.itsMajor);
    EXPECT_EQ(version.itsMinor, parsed.itsMinor);
    EXPECT_EQ(version.itsBuild, parsed.itsBuild);
#else
    EXPECT_GE(version.itsMajor, 5u);
    EXPECT_EQ(version.itsPlatformId, static_cast<unsigned long>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(version.itsSystemName, "Windows");
    EXPECT_EQ(version.itsBuild, "");  // reset, and never set on Windows
#endif
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
