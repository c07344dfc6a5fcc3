#include "oxStringServer.h"

#include <gtest/gtest.h>

#include <string>

#include "oxErrorMessage.h"
#include "oxInfoLog.h"

namespace {

// Raises the log level for one test and captures standard error.
class LevelSixCapture {
public:
    LevelSixCapture() : itsSavedLevel(oxInfoLog::itsLogLevel) {
        oxInfoLog::itsLogLevel = 6;
        testing::internal::CaptureStderr();
    }
    ~LevelSixCapture() { oxInfoLog::itsLogLevel = itsSavedLevel; }
    std::string finish() { return testing::internal::GetCapturedStderr(); }

private:
    int itsSavedLevel;
};

size_t countLines(const std::string& inText) {
    size_t lines = 0;
    for (char c : inText)
        lines += c == '\n' ? 1 : 0;
    return lines;
}

// References no other test registers.
const int32_t kRegisteredRef = 70001;
const int32_t kUnregisteredRef = 70999;

}  // namespace

TEST(oxStringServerTest, NoRefGivesEmptyTextWithoutReport) {
    LevelSixCapture capture;
    const char* text = oxStringServer::getString(oxMsg_noRef);
    const std::string output = capture.finish();
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("", text);
    EXPECT_EQ("", output);
}

TEST(oxStringServerTest, UnregisteredRefReportsOnceAndGivesEmptyText) {
    LevelSixCapture capture;
    const char* text = oxStringServer::getString(kUnregisteredRef);
    const std::string output = capture.finish();
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("", text);
    EXPECT_EQ(1u, countLines(output)) << output;
    EXPECT_NE(std::string::npos, output.find("Assertion failed.  File: ")) << output;
    EXPECT_NE(std::string::npos, output.find("oxStringServer.cpp, line: ")) << output;
    EXPECT_NE(std::string::npos,
              output.find(".  Offending command: \"itsStrMap.find(inRef) != itsStrMap.end()\".\n"))
        << output;
}

TEST(oxStringServerTest, UnregisteredRefIsSilentBelowLevelSix) {
    const int savedLevel = oxInfoLog::itsLogLevel;
    oxInfoLog::itsLogLevel = 5;
    testing::internal::CaptureStderr();
    const char* text = oxStringServer::getString(kUnregisteredRef);
    const std::string output = testing::internal::GetCapturedStderr();
    oxInfoLog::itsLogLevel = savedLevel;
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("", text);
    EXPECT_EQ("", output);
}

TEST(oxStringServerTest, RegisteredTextBuildsMessagesByNumber) {
    oxStringServer::registerString(kRegisteredRef, "Option $a refused");
    LevelSixCapture capture;
    EXPECT_STREQ("Option $a refused", oxStringServer::getString(kRegisteredRef));

    oxMessage message("ignored literal", 'a', "-x");
    message.setRef(kRegisteredRef);
    EXPECT_EQ("Option -x refused", message.getText());
    oxErrorMessage error(oxErr_internal, nullptr);
    error.setRef(kRegisteredRef);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ("Option $a refused.", error.getText());
    EXPECT_EQ("", capture.finish());

    // A null registration reads back as the empty text, never as null.
    oxStringServer::registerString(kRegisteredRef + 1, nullptr);
    const char* text = oxStringServer::getString(kRegisteredRef + 1);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("", text);
}
