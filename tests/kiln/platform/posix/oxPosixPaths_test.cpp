// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

std::string currentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

// Moves into a fresh temporary directory for one test and back out.
class oxPosixPathsDirectoryTest : public testing::Test {
protected:
    void SetUp() override {
        itsPrevious = currentDirectory();
        ASSERT_FALSE(itsPrevious.empty());
        char pattern[] = "/tmp/oxPathsXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        char resolved[PATH_MAX];
        ASSERT_NE(realpath(pattern, resolved), nullptr);
        itsDirectory = resolved;
        ASSERT_EQ(chdir(itsDirectory.c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(itsPrevious.c_str()), 0);
        rmdir(itsDirectory.c_str());
    }
    std::string itsPrevious;
    std::string itsDirectory;
};

TEST_F(oxPosixPathsDirectoryTest, CurrentDirectoryFollowsWindowsReturnRules) {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_EQ(std::string(buffer), itsDirectory);
    EXPECT_EQ(length, itsDirectory.size());

    // Exactly fitting, zero included.
    std::string exact(itsDirectory.size() + 1, 'x');
    EXPECT_EQ(GetCurrentDirectoryA(static_cast<DWORD>(exact.size()), &exact[0]), itsDirectory.size());
    EXPECT_STREQ(exact.c_str(), itsDirectory.c_str());

    // One short: nothing copied, the size needed (with the zero) returned.
    std::string small(itsDirectory.size(), 'x');
    EXPECT_EQ(GetCurrentDirectoryA(static_cast<DWORD>(small.size()), &small[0]), itsDirectory.size() + 1);
    EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), itsDirectory.size() + 1);
}

TEST(oxPosixPathsTest, ModuleFileNameIsTheTestProgramAndTruncatesLikeWindows) {
    char buffer[4096] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    const std::string path(buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, path.size());
    EXPECT_EQ(path.front(), '/');
    const std::string ending = "/kiln_tests";
    ASSERT_GE(path.size(), ending.size());
    EXPECT_EQ(path.substr(path.size() - ending.size()), ending);

    char cut[6];
    std::memset(cut, 'x', sizeof cut);
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, 5), 5u);
    EXPECT_EQ(std::string(cut), path.substr(0, 4));
    EXPECT_EQ(cut[5], 'x');

    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 0), 0u);
    // Only the program's own module is known.
    int someModule = 0;
    EXPECT_EQ(GetModuleFileNameA(&someModule, buffer, sizeof buffer), 0u);
}

}  // namespace

#endif
