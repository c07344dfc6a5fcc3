#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "oxConsole.h"

namespace {

// Standard input comes from a pipe holding a given text, as an installer
// feeds the tool; the test's own standard input is back afterwards.
class ConsoleInputTest : public testing::Test {
protected:
    void SetUp() override { itsSavedInput = dup(STDIN_FILENO); }

    void TearDown() override {
        // Leave nothing buffered for the next test.
        while (getc(stdin) != EOF) {
        }
        if (itsSavedInput >= 0) {
            dup2(itsSavedInput, STDIN_FILENO);
            close(itsSavedInput);
        } else {
            close(STDIN_FILENO);
        }
        clearerr(stdin);
    }

    void feedInput(const std::string& inText) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], inText.data(), inText.size()), static_cast<ssize_t>(inText.size()));
        close(ends[1]);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        clearerr(stdin);
    }

    int itsSavedInput = -1;
};

TEST_F(ConsoleInputTest, VisibleAndHiddenAnswersComeFromOneStreamInTurn) {
    feedInput("2\r\nserver\n\nse;cret\r\nuser\n");
    std::string line = "stale";
    testing::internal::CaptureStdout();
    const bool provider = readLine("> ", line, false);
    const std::string providerLine = line;
    const bool server = readLine("server> ", line, false);
    const std::string serverLine = line;
    const bool empty = readLine("> ", line, true);
    const std::string emptyLine = line;
    const bool password = readLine("pw> ", line, true);
    const std::string passwordLine = line;
    const bool user = readLine("> ", line, false);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(provider && server && empty && password && user);
    EXPECT_EQ(providerLine, "2");
    EXPECT_EQ(serverLine, "server");
    EXPECT_EQ(emptyLine, "");
    EXPECT_EQ(passwordLine, "se;cret");
    EXPECT_EQ(line, "user");
    // Only the prompts, and a line feed after each hidden answer.
    EXPECT_EQ(output, "> server> > \npw> \n> ");
}

TEST_F(ConsoleInputTest, LongLineIsOneAnswerWhateverItsLength) {
    const std::string longLine(1000, 'x');
    feedInput(longLine + "\n" + std::string(255, 'y') + "\nnext\n" + longLine + "\r\n");
    std::string line;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(readLine("", line, false));
    EXPECT_EQ(line, longLine);
    EXPECT_TRUE(readLine("", line, false));
    EXPECT_EQ(line, std::string(255, 'y'));
    EXPECT_TRUE(readLine("", line, false));
    EXPECT_EQ(line, "next");
    EXPECT_TRUE(readLine("", line, true));
    EXPECT_EQ(line, longLine);
    testing::internal::GetCapturedStdout();
}

TEST_F(ConsoleInputTest, EndOfInputIsReportedOnlyWhenNothingWasRead) {
    feedInput("\nlast\r");
    std::string line;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(readLine("> ", line, false));
    EXPECT_EQ(line, "");
    // A last line without its line end is an ordinary answer.
    EXPECT_TRUE(readLine("> ", line, false));
    EXPECT_EQ(line, "last");
    line = "stale";
    EXPECT_FALSE(readLine("> ", line, false));
    EXPECT_EQ(line, "");
    // Ended input stays ended, in both modes, without waiting.
    EXPECT_FALSE(readLine("> ", line, true));
    EXPECT_FALSE(readLine("> ", line, false));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "> > > > \n> ");

    feedInput("pass");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(readLine("> ", line, true));
    EXPECT_EQ(line, "pass");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "> \n");
}

}  // namespace
