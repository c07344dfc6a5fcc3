#include "oxTestFiles.h"

#include <gtest/gtest.h>

#include <string>

// Bytes a text-mode stream would change on some platform come back as
// they were written.
TEST(oxTestFilesTest, BytesComeBackUntranslated) {
    oxScratchDirectory scratch("oxTestFilesTest");
    const std::string cases[] = {
        "",
        "one line\n",
        "windows\r\nline\r\n",
        std::string("zero\0byte\x1A"
                    "after",
                    15),
        "\xFF\xFE high bytes",
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        ASSERT_TRUE(writeFileBytes(scratch.at("file"), bytes));
        EXPECT_EQ(bytes, readFileBytes(scratch.at("file")));
    }
    EXPECT_EQ("", readFileBytes(scratch.at("missing")));
    EXPECT_FALSE(writeFileBytes(scratch.at("no folder/file"), "x"));
}

// Each scratch folder is new and empty, and goes away with everything in it.
TEST(oxTestFilesTest, ScratchFoldersAreFreshAndRemoved) {
    std::filesystem::path first;
    std::filesystem::path second;
    {
        oxScratchDirectory one("oxTestFilesTest");
        oxScratchDirectory two("oxTestFilesTest");
        first = one.getPath();
        second = two.getPath();
        EXPECT_NE(first, second);
        for (const oxScratchDirectory* scratch : {&one, &two}) {
            EXPECT_TRUE(std::filesystem::is_directory(scratch->getPath()));
            EXPECT_TRUE(std::filesystem::is_empty(scratch->getPath()));
        }
        std::filesystem::create_directory(one.getPath() / "inner");
        ASSERT_TRUE(writeFileBytes(one.getPath() / "inner" / "file", "x"));
    }
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
}
