#include "oxStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "oxLogCapture.h"

namespace {

std::string dirOf(const std::string& inPath) {
    std::string dir = "unchanged";
    std::string name = "unchanged";
    splitPath(inPath, dir, name);
    return dir;
}

std::string nameOf(const std::string& inPath) {
    std::string dir = "unchanged";
    std::string name = "unchanged";
    splitPath(inPath, dir, name);
    return name;
}

// Unique per run, so that concurrent test runs do not share directories.
std::string uniqueSuffix() {
    std::random_device source;
    return std::to_string(source()) + std::to_string(source());
}

// Changes the current directory for one scope and goes back afterwards.
class oxDirectoryChange {
public:
    explicit oxDirectoryChange(const std::filesystem::path& inDirectory)
        : itsPrevious(std::filesystem::current_path()) {
        std::filesystem::current_path(inDirectory);
    }
    ~oxDirectoryChange() { std::filesystem::current_path(itsPrevious); }

private:
    std::filesystem::path itsPrevious;
};

std::filesystem::path scratchDirectory(const std::string& inName) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                (inName + "_" + uniqueSuffix());
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir);
    return std::filesystem::canonical(dir);
}

}  // namespace

TEST(oxStreamTest, SeparatorsAndAbsolutePaths) {
    EXPECT_TRUE(isPathSeparator('\\'));
    EXPECT_TRUE(isPathSeparator('/'));
    EXPECT_FALSE(isPathSeparator(':'));
    EXPECT_FALSE(isPathSeparator('a'));

    EXPECT_TRUE(isAbsolutePath("\\share\\x"));
    EXPECT_TRUE(isAbsolutePath("/tmp"));
    EXPECT_TRUE(isAbsolutePath("/"));
    EXPECT_TRUE(isAbsolutePath("C:\\dir"));
    EXPECT_TRUE(isAbsolutePath("C:/dir"));
    EXPECT_TRUE(isAbsolutePath("z:\\"));
    EXPECT_TRUE(isAbsolutePath("C:\\"));
    EXPECT_FALSE(isAbsolutePath("C:dir"));
    EXPECT_FALSE(isAbsolutePath("C:"));
    EXPECT_FALSE(isAbsolutePath("Cx\\dir"));
    EXPECT_FALSE(isAbsolutePath("1:\\x"));
    EXPECT_FALSE(isAbsolutePath("dir\\x"));
    EXPECT_FALSE(isAbsolutePath(""));
    EXPECT_FALSE(isAbsolutePath("\xC4:\\x"));
}

TEST(oxStreamTest, JoinPathWithGivenSeparator) {
    EXPECT_EQ("C:\\dir\\a.log", joinPathWith("C:\\dir", "a.log", '\\'));
    EXPECT_EQ("C:\\dir\\a.log", joinPathWith("C:\\dir\\", "a.log", '\\'));
    EXPECT_EQ("C:\\dir\\a.log", joinPathWith("C:\\dir", "\\a.log", '\\'));
    EXPECT_EQ("C:\\dir/a.log", joinPathWith("C:\\dir", "/a.log", '\\'));
    EXPECT_EQ("a.log", joinPathWith("", "a.log", '\\'));
    EXPECT_EQ("C:\\dir", joinPathWith("C:\\dir", "", '\\'));
    EXPECT_EQ("", joinPathWith("", "", '\\'));
    EXPECT_EQ("/tmp/x/a.log", joinPathWith("/tmp/x", "a.log", '/'));
    // Only separators are merged, not drive colons.
    EXPECT_EQ("C:\\a.log", joinPathWith("C:", "a.log", '\\'));
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

TEST(oxStreamTest, SplitPathAtTheLastInnerSeparator) {
    EXPECT_EQ("C:\\dir\\", dirOf("C:\\dir\\file.txt"));
    EXPECT_EQ("file.txt", nameOf("C:\\dir\\file.txt"));
    EXPECT_EQ("", dirOf("file.txt"));
    EXPECT_EQ("file.txt", nameOf("file.txt"));
    EXPECT_EQ("C:", dirOf("C:file"));
    EXPECT_EQ("file", nameOf("C:file"));
    EXPECT_EQ("C:\\", dirOf("C:\\dir\\"));
    EXPECT_EQ("dir\\", nameOf("C:\\dir\\"));
    EXPECT_EQ("", dirOf("\\file"));
    EXPECT_EQ("\\file", nameOf("\\file"));
    EXPECT_EQ("/usr/lib/", dirOf("/usr/lib/libx.so"));
    EXPECT_EQ("libx.so", nameOf("/usr/lib/libx.so"));
    EXPECT_EQ("a/b\\", dirOf("a/b\\c"));
    EXPECT_EQ("", dirOf(""));
    EXPECT_EQ("", nameOf(""));
    EXPECT_EQ("", dirOf("x"));
    EXPECT_EQ("x", nameOf("x"));
    EXPECT_EQ("", dirOf("/"));
    EXPECT_EQ("/", nameOf("/"));

    // The outputs may be the input itself.
    std::string path = "C:\\dir\\file.txt";
    std::string name;
    splitPath(path, path, name);
    EXPECT_EQ("C:\\dir\\", path);
    EXPECT_EQ("file.txt", name);
    std::string other = "C:\\dir\\file.txt";
    std::string dir;
    splitPath(other, dir, other);
    EXPECT_EQ("C:\\dir\\", dir);
    EXPECT_EQ("file.txt", other);

    EXPECT_EQ("file.txt", getFileNamePart("C:\\dir\\file.txt"));
    EXPECT_EQ("dir\\", getFileNamePart("C:\\dir\\"));
}

TEST(oxStreamTest, CurrentDirectoryAndAbsolutePaths) {
    const std::filesystem::path scratch = scratchDirectory("oxStreamTest_cwd");
    {
        oxDirectoryChange change(scratch);
        EXPECT_EQ(scratch.string(), getCurrentDirectory());
        EXPECT_EQ((scratch / "infoLog.log").string(), makeAbsolutePath("infoLog.log"));
        EXPECT_EQ((scratch / "sub" / "x.log").string(), makeAbsolutePath(joinPath("sub", "x.log")));
        EXPECT_EQ("/var/log/x.log", makeAbsolutePath("/var/log/x.log"));
        EXPECT_EQ("C:\\work\\x.log", makeAbsolutePath("C:\\work\\x.log"));
        EXPECT_EQ(scratch.string(), makeAbsolutePath(""));
    }
    std::filesystem::remove_all(scratch);
}

TEST(oxStreamTest, CurrentDirectoryLongerThanTheFirstBuffer) {
    const std::filesystem::path scratch = scratchDirectory("oxStreamTest_long");
    std::filesystem::path deep = scratch;
    for (int i = 0; i < 8; ++i)
        deep /= std::string(40, static_cast<char>('a' + i));
    std::filesystem::create_directories(deep);
    ASSERT_GT(deep.string().size(), 300u);
    {
        oxDirectoryChange change(deep);
        oxLogCapture capture(6);
        EXPECT_EQ(deep.string(), getCurrentDirectory());
        EXPECT_EQ("", capture.finish());
    }
    std::filesystem::remove_all(scratch);
}

TEST(oxStreamTest, VanishedCurrentDirectoryGivesEmptyText) {
    const std::filesystem::path scratch = scratchDirectory("oxStreamTest_gone");
    oxDirectoryChange change(scratch);
    std::filesystem::remove(scratch);
    {
        oxLogCapture capture(6);
        EXPECT_EQ("", getCurrentDirectory());
        // Joined to nothing, the name stays as it is.
        EXPECT_EQ("infoLog.log", makeAbsolutePath("infoLog.log"));
        const std::string& text = capture.finish();
        EXPECT_EQ(2, countOccurrences(text, offendingCommand("false"))) << text;
        EXPECT_NE(std::string::npos, text.find("oxStream.cpp")) << text;
    }
    {
        oxLogCapture capture(5);
        EXPECT_EQ("", getCurrentDirectory());
        EXPECT_EQ("", capture.finish());
    }
}

TEST(oxStreamTest, ProgramFileName) {
    const std::string& name = getProgramFileName();
    EXPECT_EQ("kiln_tests", name);
    // Later calls return the same cached text.
    EXPECT_EQ(&name, &getProgramFileName());
    EXPECT_TRUE(isAbsolutePath(getProgramPath()));
    EXPECT_EQ(getProgramDirectory() + name, getProgramPath());
    EXPECT_EQ(&getProgramPath(), &getProgramPath());
}

TEST(oxStreamTest, SourceLocation) {
    EXPECT_EQ("oxPreferences.cpp:30", sourceLocation("shared/kiln/util/oxPreferences.cpp", 30));
    EXPECT_EQ("oxThread.cpp:7", sourceLocation("C:\\src\\kiln\\oxThread.cpp", 7));
    EXPECT_EQ("oxMutex.cpp:4294967295", sourceLocation("c:oxMutex.cpp", 4294967295u));
    EXPECT_EQ("oxStatics.cpp:0", sourceLocation("oxStatics.cpp", 0));
    EXPECT_EQ("/oxRoot.cpp:12", sourceLocation("/oxRoot.cpp", 12));
    EXPECT_EQ(":5", sourceLocation("", 5));
    EXPECT_EQ("", sourceLocation(nullptr, 30));
    EXPECT_EQ("oxStream_test.cpp:" + std::to_string(__LINE__), sourceLocation(__FILE__, __LINE__));
}
