#include "oxRawLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "oxInfoLog.h"
#include "oxLogCapture.h"
#include "oxRawAssert.h"

namespace {
// What reached the hooks while a test's table was installed.
struct oxHookRecord {
    std::vector<std::string> itsLines;
    std::vector<std::string> itsConfiguration;
};
oxHookRecord theRecord;

void recordLog(int inLevel, const char* inText) {
    theRecord.itsLines.push_back(std::to_string(inLevel) + " " + inText);
}
void recordFormatted(int inLevel, const char* inFormat, va_list inArguments) {
    char text[256];
    vsnprintf(text, sizeof text, inFormat, inArguments);
    theRecord.itsLines.push_back(std::to_string(inLevel) + " " + text);
}
void recordCrash(const char* inText) {
    theRecord.itsLines.push_back(std::string("crash ") + inText);
}
void recordOutput(const char* inProgramName, int inMode) {
    theRecord.itsConfiguration.push_back(std::string(inProgramName) + " " + std::to_string(inMode));
}
void recordOutputFile(const char* inProgramName, const char* inFileName) {
    theRecord.itsConfiguration.push_back(std::string(inProgramName) + " file " + inFileName);
}
void recordPrepare() {
    theRecord.itsConfiguration.push_back("prepare");
}
const oxRawLog::oxHooks theRecordingHooks = {&recordLog,    &recordFormatted,  &recordCrash,
                                             &recordOutput, &recordOutputFile, &recordPrepare};

// Installs inHooks and a level for one test; puts the log's own back.
class oxHooksInstalled {
public:
    oxHooksInstalled(const oxRawLog::oxHooks* inHooks, int inLevel)
        : itsSaved(oxRawLog::installHooks(inHooks)), itsSavedLevel(oxRawLog::itsLogLevel) {
        oxRawLog::itsLogLevel = inLevel;
        theRecord = oxHookRecord();
    }
    ~oxHooksInstalled() {
        oxRawLog::installHooks(itsSaved);
        oxRawLog::itsLogLevel = itsSavedLevel;
    }
    oxHooksInstalled(const oxHooksInstalled&) = delete;
    oxHooksInstalled& operator=(const oxHooksInstalled&) = delete;

private:
    const oxRawLog::oxHooks* itsSaved;
    int itsSavedLevel;
};
}  // namespace

TEST(oxRawLogTest, LevelIsTheInfoLogsOwnAndTheOnceFlagIsMasked) {
    struct Row {
        int logLevel;
        int reportLevel;
        bool suppressed;
    };
    const Row rows[] = {
        {3, 3, false},
        {3, 4, true},
        {0, 0, false},
        {0, 1, true},
        {6, 6, false},
        {5, 6, true},
        {3, oxLog_once | 3, false},
        {3, oxLog_once | 4, true},
    };
    const int saved = oxInfoLog::itsLogLevel;
    for (const Row& row : rows) {
        // Set through the info log, read through the raw layer, and back.
        oxInfoLog::itsLogLevel = row.logLevel;
        EXPECT_EQ(oxRawLog::isSuppressed(row.reportLevel), row.suppressed)
            << "log level " << row.logLevel << ", report " << row.reportLevel;
        oxRawLog::itsLogLevel = row.logLevel;
        EXPECT_EQ(oxInfoLog::isSuppressed(row.reportLevel), row.suppressed);
    }
    oxInfoLog::itsLogLevel = saved;
}

TEST(oxRawLogTest, ReportsReachTheInfoLogFromTheStart) {
    // No test installed anything: the info log is plugged in statically.
    ASSERT_EQ(oxRawLog::getHooks(), &oxInfoLog::itsRawLogHooks);
    const std::string text = logOf(3, [] {
        oxRawLog::log(3, "raw line");
        oxRawLog::log(oxLog_once | 3, "raw once");
        oxRawLog::log(oxLog_once | 3, "raw once");
        oxRawLog::logFormatted(2, "raw %s %d", "formatted", 7);
        oxRawLog::log(4, "raw suppressed");
    });
    EXPECT_EQ(countOccurrences(text, " raw line\n"), 1) << text;
    EXPECT_EQ(countOccurrences(text, "raw once"), 1) << text;
    EXPECT_EQ(countOccurrences(text, "raw formatted 7\n"), 1) << text;
    EXPECT_EQ(text.find("suppressed"), std::string::npos);
}

TEST(oxRawLogTest, InstalledHooksGetReportsAndConfiguration) {
    oxHooksInstalled installed(&theRecordingHooks, 5);
    oxRawLog::log(5, "plain");
    oxRawLog::log(6, "too high");
    oxRawLog::logFormatted(0, "%s=%d", "answer", 42);
    oxRawLog::logFormatted(6, "%s", "too high");
    oxRawLog::logCrash("crashed");
    oxRawLog::setOutput("program", oxLog_file);
    oxRawLog::setOutputFile("program", "name.log");
    oxRawLog::prepareCrashReport();
    EXPECT_EQ(theRecord.itsLines, (std::vector<std::string>{"5 plain", "0 answer=42", "crash crashed"}));
    EXPECT_EQ(theRecord.itsConfiguration,
              (std::vector<std::string>{"program 3", "program file name.log", "prepare"}));
}

TEST(oxRawLogTest, AssertionsNeedOnlyTheRawLayer) {
    oxHooksInstalled installed(&theRecordingHooks, 6);
    int evaluated = 0;
    const long assertLine = __LINE__ + 1;
    oxAssert(++evaluated == 0);
    oxAssertText(1 + 1 == 3, "the detail");
    oxAssert(true);
    ASSERT_EQ(theRecord.itsLines.size(), 2u);
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(theRecord.itsLines[0],
              "5 Assertion failed.  File: " __FILE__ ", line: " + std::to_string(assertLine) +
                  ".  Offending command: \"++evaluated == 0\".");
    EXPECT_NE(theRecord.itsLines[1].find("Offending command: \"1 + 1 == 3\"  --- the detail."),
              std::string::npos)
        << theRecord.itsLines[1];

    // Below level 6 the condition is not even evaluated.
    oxRawLog::itsLogLevel = 5;
    oxAssert(++evaluated == 0);
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(theRecord.itsLines.size(), 2u);
}

TEST(oxRawLogTest, WithoutHooksLinesGoToStandardErrorCut) {
    oxHooksInstalled installed(nullptr, 3);
    const std::string longText(5000, 'x');
    testing::internal::CaptureStderr();
    oxRawLog::log(3, "unhooked line");
    oxRawLog::log(3, nullptr);
    oxRawLog::log(4, "suppressed");
    oxRawLog::logFormatted(1, "%s", longText.c_str());
    oxRawLog::logCrash("unhooked crash");
    oxRawLog::setOutput("program", oxLog_file);  // nothing to configure
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text.substr(0, 15), "unhooked line\n\n");
    EXPECT_EQ(text.find("suppressed"), std::string::npos);
    // The long line is cut at the stack buffer and still ends its line.
    const size_t xs = text.find('x');
    ASSERT_NE(xs, std::string::npos);
    const size_t end = text.find('\n', xs);
    EXPECT_GT(end - xs, 500u);
    EXPECT_LT(end - xs, longText.size());
    EXPECT_EQ(text.substr(end + 1), "unhooked crash\n");
}
