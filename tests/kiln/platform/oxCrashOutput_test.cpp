#include "oxCrashOutput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "oxDate.h"
#include "oxStream.h"
#include "oxTime.h"
#include "oxWin32.h"

namespace {

struct oxLocalMoment {
    int itsMonth, itsDay, itsHour, itsMinute, itsSecond;
    bool operator==(const oxLocalMoment& inOther) const {
        return itsMonth == inOther.itsMonth && itsDay == inOther.itsDay && itsHour == inOther.itsHour &&
               itsMinute == inOther.itsMinute && itsSecond == inOther.itsSecond;
    }
};

oxLocalMoment localNow() {
    oxDate date(1);
    oxTime time(1);
    return {date.getMonth(), date.getDay(), time.getHour(), time.getMinute(), time.getSecond()};
}

std::string readFile(const std::string& inPath) {
    std::ifstream file(inPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool exists(const std::string& inPath) {
    return std::ifstream(inPath).good();
}

// What a text-mode stream makes of a line end on this platform.
std::string textLine(const std::string& inText) {
    return inText + (getPlatformPathSeparator() == '\\' ? "\r\n" : "\n");
}

class oxCrashOutputTest : public testing::Test {
protected:
    void TearDown() override {
        prepareCrashFile(nullptr);
        for (const std::string& path : itsPaths)
            remove(path.c_str());
    }

    std::string pathFor(const char* inName) {
        itsPaths.push_back(makeAbsolutePath(std::string("crash_output_test_") + inName + ".log"));
        return itsPaths.back();
    }

    std::vector<std::string> itsPaths;
};

}  // namespace

// The local time read inside a crash is the C runtime's local time of the
// same moment: one of the two readings taken around it.
TEST_F(oxCrashOutputTest, LocalTimeAgreesWithTheRuntimes) {
    prepareCrashTime();
    oxLocalMoment before = localNow();
    oxCrashTime crash;
    readCrashTime(crash);
    oxLocalMoment after = localNow();
    oxLocalMoment read{crash.itsMonth, crash.itsDay, crash.itsHour, crash.itsMinute, crash.itsSecond};
    EXPECT_TRUE(read == before || read == after) << read.itsMonth << "/" << read.itsDay << " " << read.itsHour
                                                 << ":" << read.itsMinute << ":" << read.itsSecond;
}

TEST_F(oxCrashOutputTest, FileIsAppendedToWhetherItExistedOrNot) {
    struct Case {
        const char* itsName;
        const char* itsBefore;  // null: no file before
    };
    const Case cases[] = {
        {"missing", nullptr},
        {"empty", ""},
        {"with_lines", "first\nsecond\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.itsName);
        std::string path = pathFor(c.itsName);
        remove(path.c_str());
        if (c.itsBefore != nullptr)
            std::ofstream(path, std::ios::binary) << c.itsBefore;
        prepareCrashFile(path.c_str());
        // Preparing never creates the file: a run that writes no line
        // leaves none behind.
        EXPECT_EQ(exists(path), c.itsBefore != nullptr);
        writeCrashFile("report\n", 7);
        EXPECT_EQ(readFile(path),
                  std::string(c.itsBefore != nullptr ? c.itsBefore : "") + textLine("report"));
    }
}

TEST_F(oxCrashOutputTest, NoFileOrAnUnusableOneWritesNothing) {
    std::string kept = pathFor("kept");
    std::ofstream(kept, std::ios::binary) << "kept\n";
    prepareCrashFile(kept.c_str());
    // Each of these replaces the file prepared before.
    const std::string unusable[] = {std::string(), makeAbsolutePath("no_such_directory/x.log"),
                                    std::string(5000, 'x')};
    for (const std::string& path : unusable) {
        SCOPED_TRACE(path.size());
        prepareCrashFile(path.empty() ? nullptr : path.c_str());
        writeCrashFile("lost\n", 5);
        EXPECT_EQ(readFile(kept), "kept\n");
    }
    EXPECT_FALSE(exists(makeAbsolutePath("no_such_directory/x.log")));
}
