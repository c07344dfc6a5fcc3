#include "oxStrStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <string>

TEST(oxStrStreamTest, GetTextReturnsWhatWasWritten) {
    oxStrStream empty;
    EXPECT_STREQ("", empty.getText());

    oxStrStream stream;
    stream.fill('0');
    stream << "day " << std::setw(2) << 5 << ", " << 2014u;
    EXPECT_STREQ("day 05, 2014", stream.getText());

    // Large texts make the buffer grow beyond its first size.
    oxStrStream large;
    const std::string line(1000, 'x');
    for (int i = 0; i < 20; ++i)
        large << line;
    const char* text = large.getText();
    EXPECT_EQ(20000u, std::strlen(text));
    EXPECT_EQ(line, std::string(text, 1000));
}

TEST(oxStrStreamTest, GetTextTwiceAddsAZeroButKeepsTheText) {
    oxStrStream stream;
    stream << "abc";
    const char* first = stream.getText();
    EXPECT_EQ(4, stream.pcount());
    const char* second = stream.getText();
    EXPECT_EQ(5, stream.pcount());
    EXPECT_EQ(first, second);
    EXPECT_STREQ("abc", second);
    EXPECT_EQ('\0', second[4]);
}
