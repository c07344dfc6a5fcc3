#include "oxStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "oxLogCapture.h"
#include "oxPlatformExtras.h"
#include "oxTestFiles.h"

namespace {

// A fresh directory (unique per run, so that concurrent runs do not share
// it), current during the test and removed afterwards.
class oxStreamDirectoryTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::current_path(itsScratch); }
    void TearDown() override { std::filesystem::current_path(itsPrevious); }

    const std::filesystem::path itsPrevious = std::filesystem::current_path();
    const oxScratchDirectory itsFolder{"oxStreamTest"};
    const std::filesystem::path itsScratch = itsFolder.getPath();
};

}  // namespace

TEST(oxStreamTest, SeparatorsAndAbsolutePaths) {
    EXPECT_TRUE(isPathSeparator('\\') && isPathSeparator('/'));
    EXPECT_FALSE(isPathSeparator(':') || isPathSeparator('a'));
    for (const char* path : {"\\share\\x", "/tmp", "/", "C:\\dir", "C:/dir", "z:\\", "C:\\"})
        EXPECT_TRUE(isAbsolutePath(path)) << path;
    for (const char* path : {"C:dir", "C:", "Cx\\dir", "1:\\x", "dir\\x", "", "\xC4:\\x"})
        EXPECT_FALSE(isAbsolutePath(path)) << path;
}

TEST(oxStreamTest, JoinPathWithGivenSeparator) {
    // {directory, name, joined with '\\'}; only separators are merged, not
    // drive colons.
    const char* const cases[][3] = {{"C:\\dir", "a.log", "C:\\dir\\a.log"},
                                    {"C:\\dir\\", "a.log", "C:\\dir\\a.log"},
                                    {"C:\\dir", "\\a.log", "C:\\dir\\a.log"},
                                    {"C:\\dir", "/a.log", "C:\\dir/a.log"},
                                    {"", "a.log", "a.log"},
                                    {"C:\\dir", "", "C:\\dir"},
                                    {"", "", ""},
                                    {"C:", "a.log", "C:\\a.log"}};
    for (const auto& join : cases)
        EXPECT_EQ(join[2], joinPathWith(join[0], join[1], '\\')) << join[0] << " + " << join[1];
    EXPECT_EQ("/tmp/x/a.log", joinPathWith("/tmp/x", "a.log", '/'));
}

TEST(oxStreamTest, JoinPathUsesThePlatformSeparator) {
    const std::string joined = joinPath("/tmp/x", "a.log");
    const char separator = joined[6];
    EXPECT_TRUE(isPathSeparator(separator));
    EXPECT_EQ(joinPathWith("/tmp/x", "a.log", separator), joined);
    EXPECT_EQ("/tmp/x/a.log", joinPath("/tmp/x/", "a.log"));
    EXPECT_EQ("a.log", joinPath("", "a.log"));
    // The program's own path shows which separator this platform uses.
    const std::string& programDirectory = getProgramDirectory();
    ASSERT_FALSE(programDirectory.empty());
    EXPECT_EQ(programDirectory.back(), separator);
}

TEST_F(oxStreamDirectoryTest, CurrentDirectoryAndAbsolutePaths) {
    EXPECT_EQ(itsScratch.string(), getCurrentDirectory());
    EXPECT_EQ((itsScratch / "infoLog.log").string(), makeAbsolutePath("infoLog.log"));
    EXPECT_EQ((itsScratch / "sub" / "x.log").string(), makeAbsolutePath(joinPath("sub", "x.log")));
    EXPECT_EQ("/var/log/x.log", makeAbsolutePath("/var/log/x.log"));
    EXPECT_EQ("C:\\work\\x.log", makeAbsolutePath("C:\\work\\x.log"));
    EXPECT_EQ(itsScratch.string(), makeAbsolutePath(""));
}

TEST_F(oxStreamDirectoryTest, CurrentDirectoryLongerThanTheFirstBuffer) {
    if (getPlatformPathSeparator() == '\\')
        GTEST_SKIP() << "Windows keeps the current directory within MAX_PATH";
    std::filesystem::path deep = itsScratch;
    for (int i = 0; i < 8; ++i)
        deep /= std::string(40, static_cast<char>('a' + i));
    std::filesystem::create_directories(deep);
    ASSERT_GT(deep.string().size(), 300u);
    std::filesystem::current_path(deep);
    oxLogCapture capture(6);
    EXPECT_EQ(deep.string(), getCurrentDirectory());
    EXPECT_EQ("", capture.finish());
}

TEST_F(oxStreamDirectoryTest, VanishedCurrentDirectoryGivesEmptyText) {
    if (getPlatformPathSeparator() == '\\')
        GTEST_SKIP() << "Windows does not remove a process's current directory";
    std::filesystem::remove(itsScratch);
    const std::string text = logOf(6, [] {
        EXPECT_EQ("", getCurrentDirectory());
        // Joined to nothing, the name stays as it is.
        EXPECT_EQ("infoLog.log", makeAbsolutePath("infoLog.log"));
    });
    EXPECT_EQ(2, countOccurrences(text, offendingCommand("false"))) << text;
    EXPECT_NE(std::string::npos, text.find("oxStream.cpp")) << text;
    EXPECT_EQ("", logOf(5, [] { EXPECT_EQ("", getCurrentDirectory()); }));
}

TEST(oxStreamTest, ProgramFileName) {
    const std::string& name = getProgramFileName();
    EXPECT_EQ(std::string("kiln_tests") + OX_EXECUTABLE_SUFFIX, name);
    // Later calls return the same cached text.
    EXPECT_EQ(&name, &getProgramFileName());
    EXPECT_TRUE(isAbsolutePath(getProgramPath()));
    EXPECT_EQ(getProgramDirectory() + name, getProgramPath());
    EXPECT_EQ(&getProgramPath(), &getProgramPath());
}
