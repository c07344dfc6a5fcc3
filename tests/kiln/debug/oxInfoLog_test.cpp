#include "oxInfoLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "oxAssert.h"
#include "oxDate.h"
#include "oxErrorMessage.h"
#include "oxLogCapture.h"
#include "oxStream.h"
#include "oxStringUtil.h"
#include "oxThread.h"

namespace {
// Log lines carry the time of day: compare them with every digit masked.
std::string maskDigits(std::string inText) {
    for (char& c : inText)
        c = (c >= '0' && c <= '9') ? '9' : c;
    return inText;
}

std::string today() {
    std::string text;
    return oxDate(1).format(text, oxDate_monthName, false, false);
}

// Puts the output back to the console whatever a test chose.
class oxInfoLogTest : public testing::Test {
protected:
    void TearDown() override { oxInfoLog::setOutput("", oxLog_console); }

    static std::string uniqueText(const char* inPrefix) {
        static int counter = 0;
        return std::string(inPrefix) + " " + toDecimalString(static_cast<uint32_t>(++counter)) + " " +
               toDecimalString(GetCurrentThreadId());
    }

    static std::string readFile(const std::string& inPath) {
        std::ifstream file(inPath);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
};
}  // namespace

TEST_F(oxInfoLogTest, LevelDecidesWhatIsWritten) {
    oxLogCapture capture(3);
    EXPECT_TRUE(oxInfoLog::isSuppressed(4));
    EXPECT_FALSE(oxInfoLog::isSuppressed(3));
    EXPECT_FALSE(oxInfoLog::isSuppressed(0x80 | 3));  // the once flag is not part of the level
    oxInfoLog::log(4, "too detailed");
    oxInfoLog::log(3, "level three");
    oxInfoLog::log(0, "level zero");
    std::string text = capture.finish();
    EXPECT_EQ(maskDigits(text), "99:99:99 level three\n99:99:99 level zero\n");
}

TEST_F(oxInfoLogTest, MessagesAreWrittenWithTheirFinalText) {
    const std::string text = logOf(3, [] {
        oxInfoLog::log(0, oxErrorMessage(oxErr_internal, "Failure in $f  ", 'f', "a.cpp", 'l', "1"));
    });
    EXPECT_NE(text.find(" Failure in a.cpp.\n"), std::string::npos);
}

TEST_F(oxInfoLogTest, OnceFlagWritesATextOncePerProcess) {
    std::string text = uniqueText("once");
    oxLogCapture capture(3);
    oxInfoLog::log(oxLog_once | 4, text.c_str());  // suppressed: not remembered either
    oxInfoLog::log(oxLog_once | 0, text.c_str());
    oxInfoLog::log(oxLog_once | 0, text.c_str());
    oxInfoLog::log(0, text.c_str());  // without the flag it is written again
    EXPECT_EQ(countOccurrences(capture.finish(), text), 2);
}

TEST_F(oxInfoLogTest, OnceSetWarnsFromTheHundredthTextAndEmptiesPastAThousand) {
    // Fill with texts of this test only; earlier tests may have left some.
    std::string first = uniqueText("first");
    {
        oxLogCapture capture(6);
        oxInfoLog::log(oxLog_once | 0, first.c_str());
        for (int index = 0; index < 1100; ++index)
            oxInfoLog::log(oxLog_once | 0, uniqueText("fill").c_str());
        std::string text = capture.finish();
        int warnings = countOccurrences(text, offendingCommand("itsAlreadyLoggedMessages.size() < 100"));
        // Warned from the 100th distinct text to the 1001st, and again after
        // the set was emptied and refilled to 100.
        EXPECT_GT(warnings, 900);
        EXPECT_LT(warnings, 1100);
        EXPECT_NE(text.find("Assertion failed.  File: shared/kiln/debug/oxInfoLog.cpp, line: "),
                  std::string::npos);
    }
    // The set has been emptied since, so the first text is written again.
    EXPECT_EQ(countOccurrences(logOf(3, [&] { oxInfoLog::log(oxLog_once | 0, first.c_str()); }), first), 1);
}

TEST_F(oxInfoLogTest, AssertionsAreEvaluatedOnlyWithLevelSixAndNeverStop) {
    int evaluations = 0;
    auto condition = [&evaluations]() {
        ++evaluations;
        return false;
    };
    EXPECT_EQ(logOf(5, [&] { oxAssert(condition()); }), "");
    EXPECT_EQ(evaluations, 0);
    const std::string text = logOf(6, [&] {
        oxAssert(condition());
        oxAssertText(1 + 1 == 3, "the detail");
    });
    EXPECT_EQ(evaluations, 1);
    EXPECT_NE(text.find("Assertion failed.  File: tests/kiln/debug/oxInfoLog_test.cpp, line: "),
              std::string::npos);
    EXPECT_NE(text.find(".  Offending command: \"condition()\".\n"), std::string::npos) << text;
    EXPECT_NE(text.find(".  Offending command: \"1 + 1 == 3\"  --- the detail.\n"), std::string::npos)
        << text;
}

TEST_F(oxInfoLogTest, HighLevelsNameTheReportingThread) {
    const std::string text = logOf(5, [] { oxInfoLog::log(0, "who said this"); });
    DWORD id = GetCurrentThreadId();
    oxThread* thread = oxThread::findThread(id);
    std::string name = thread != nullptr ? thread->getName() : "";
    std::string expected = " [" + toDecimalString(id) + " " + name + "]  who said this\n";
    EXPECT_EQ(text.substr(8), expected);
}

TEST_F(oxInfoLogTest, LongFormattedReportsAreCutAtTheBuffer) {
    const std::string text = logOf(3, [] {
        oxInfoLog::logFormatted(0, "%s", std::string(20000, 'x').c_str());
        oxInfoLog::logFormatted(4, "%s", "suppressed");
    });
    EXPECT_EQ(text.size(), 9 + 10239 + 1u);
}

TEST_F(oxInfoLogTest, FileOutputAppendsDatedLinesToAnAbsoluteFile) {
    std::string name = "infoLogTest-" + toDecimalString(GetCurrentThreadId()) + ".log";
    std::string path = makeAbsolutePath(name);
    std::remove(path.c_str());
    oxInfoLog::setOutputFile("Velqor Tarnwell Utility", name.c_str());
    EXPECT_EQ(oxInfoLog::getOutputMode(), oxLog_file);
    EXPECT_EQ(oxInfoLog::getLogFileName(), path);
    oxInfoLog::log(0, "Cannot open file.");
    oxInfoLog::setOutput("", oxLog_file);  // keeps the file, drops the name
    oxInfoLog::log(0, "second");
    std::string text = readFile(path);
    std::remove(path.c_str());
    EXPECT_EQ(maskDigits(text),
              maskDigits(today() + " 00:00:00 Velqor Tarnwell Utility: Cannot open file.\n" + today() +
                         " 00:00:00 second\n"));
}

TEST_F(oxInfoLogTest, UnwritableFileAndSystemModeWriteNothing) {
    oxInfoLog::setOutputFile("x", "/no/such/directory/info.log");
    oxLogCapture capture(3);
    oxInfoLog::log(0, "lost");
    oxInfoLog::setOutput("x", oxLog_system);
    oxInfoLog::log(0, "lost too");
    EXPECT_EQ(capture.finish(), "");
}
