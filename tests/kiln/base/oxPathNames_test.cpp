#include "oxPathNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// Both outputs of splitPath, as "dir|name".
std::string split(const std::string& inPath) {
    std::string dir = "unchanged";
    std::string name = "unchanged";
    splitPath(inPath, dir, name);
    return dir + "|" + name;
}
}  // namespace

TEST(oxPathNamesTest, SplitPathAtTheLastInnerSeparator) {
    const char* const cases[][2] = {{"C:\\dir\\file.txt", "C:\\dir\\|file.txt"},
                                    {"file.txt", "|file.txt"},
                                    {"C:file", "C:|file"},
                                    {"C:\\dir\\", "C:\\|dir\\"},
                                    {"\\file", "|\\file"},
                                    {"/usr/lib/libx.so", "/usr/lib/|libx.so"},
                                    {"a/b\\c", "a/b\\|c"},
                                    {"", "|"},
                                    {"x", "|x"},
                                    {"/", "|/"}};
    for (const auto& path : cases)
        EXPECT_EQ(path[1], split(path[0])) << path[0];

    // The outputs may be the input itself.
    std::string path = "C:\\dir\\file.txt";
    std::string other = path;
    std::string name;
    std::string dir;
    splitPath(path, path, name);
    splitPath(other, dir, other);
    EXPECT_EQ("C:\\dir\\|file.txt", path + "|" + name);
    EXPECT_EQ("C:\\dir\\|file.txt", dir + "|" + other);

    EXPECT_EQ("file.txt", getFileNamePart("C:\\dir\\file.txt"));
    EXPECT_EQ("dir\\", getFileNamePart("C:\\dir\\"));
}

TEST(oxPathNamesTest, SourceLocation) {
    EXPECT_EQ("oxPreferences.cpp:30", sourceLocation("shared/kiln/util/oxPreferences.cpp", 30));
    EXPECT_EQ("oxThread.cpp:7", sourceLocation("C:\\src\\kiln\\oxThread.cpp", 7));
    EXPECT_EQ("oxMutex.cpp:4294967295", sourceLocation("c:oxMutex.cpp", 4294967295u));
    EXPECT_EQ("oxStatics.cpp:0", sourceLocation("oxStatics.cpp", 0));
    EXPECT_EQ("/oxRoot.cpp:12", sourceLocation("/oxRoot.cpp", 12));
    EXPECT_EQ(":5", sourceLocation("", 5));
    EXPECT_EQ("", sourceLocation(nullptr, 30));
    EXPECT_EQ("oxPathNames_test.cpp:" + std::to_string(__LINE__), sourceLocation(__FILE__, __LINE__));
}
