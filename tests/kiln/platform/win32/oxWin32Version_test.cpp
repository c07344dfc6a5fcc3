// The platform description from the running system's own GetVersionExA.
// Wine reports a Windows version of its own choosing, so only the shape
// and the agreement with the numbers are fixed here.
#include "oxProcess.h"
#include "oxWin32.h"

#include <gtest/gtest.h>

#include <string>

TEST(oxWin32VersionTest, DescriptionNamesTheRunningWindowsAndItsNumbers) {
    oxPlatformVersion version;
    ASSERT_TRUE(readPlatformVersion(version));
    const std::string numbers =
        " v" + std::to_string(version.itsMajor) + "." + std::to_string(version.itsMinor);

    const std::string described = oxProcess::getOSDescription(true, false);
    EXPECT_EQ(0u, described.find("Microsoft Windows ")) << described;
    EXPECT_GT(described.size(), std::string("Microsoft Windows ").size() + numbers.size()) << described;
    EXPECT_EQ(described.size() - numbers.size(), described.rfind(numbers)) << described;

    const std::string withBuild = oxProcess::getOSDescription(true, true);
    EXPECT_EQ(described + ", Build " + std::to_string(version.itsBuildNumber & 0xFFFF), withBuild);
    EXPECT_EQ(described.substr(std::string("Microsoft ").size()), oxProcess::getOSDescription(false, false));
}
