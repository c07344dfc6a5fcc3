#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "oxConsole.h"

namespace {

const oxConsoleAnswer kAnswered = oxConsoleAnswer::answered;
const oxConsoleAnswer kEnded = oxConsoleAnswer::ended;

// Standard input comes from a pipe holding a given text, as an installer
// feeds the tool; the test's own standard input is back afterwards.
class oxConsoleTest : public testing::Test {
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

    // From a file: unlike a pipe, it takes more than 64 KiB unread.
    void feedFile(const std::string& inText) {
        FILE* file = tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(fwrite(inText.data(), 1, inText.size(), file), inText.size());
        fflush(file);
        dup2(fileno(file), STDIN_FILENO);
        fclose(file);
        // Also drops whatever stdin still buffers from an earlier feed.
        fseek(stdin, 0, SEEK_SET);
        clearerr(stdin);
    }

    int itsSavedInput = -1;
};

TEST_F(oxConsoleTest, VisibleAndHiddenAnswersComeFromOneStreamInTurn) {
    feedInput("2\r\nserver\n\nse;cret\r\nuser\n");
    std::string line = "stale";
    testing::internal::CaptureStdout();
    const oxConsoleAnswer provider = readLine("> ", line, false);
    const std::string providerLine = line;
    const oxConsoleAnswer server = readLine("server> ", line, false);
    const std::string serverLine = line;
    const oxConsoleAnswer empty = readLine("> ", line, true);
    const std::string emptyLine = line;
    const oxConsoleAnswer password = readLine("pw> ", line, true);
    const std::string passwordLine = line;
    const oxConsoleAnswer user = readLine("> ", line, false);
    const std::string output = testing::internal::GetCapturedStdout();

    for (oxConsoleAnswer answer : {provider, server, empty, password, user})
        EXPECT_EQ(answer, kAnswered);
    EXPECT_EQ(providerLine, "2");
    EXPECT_EQ(serverLine, "server");
    EXPECT_EQ(emptyLine, "");
    EXPECT_EQ(passwordLine, "se;cret");
    EXPECT_EQ(line, "user");
    // Only the prompts, and a line feed after each hidden answer.
    EXPECT_EQ(output, "> server> > \npw> \n> ");
}

TEST_F(oxConsoleTest, LongLineIsOneAnswerWhateverItsLength) {
    const std::string longLine(1000, 'x');
    feedInput(longLine + "\n" + std::string(255, 'y') + "\nnext\n" + longLine + "\r\n");
    std::string line;
    testing::internal::CaptureStdout();
    EXPECT_EQ(kAnswered, readLine("", line, false));
    EXPECT_EQ(line, longLine);
    EXPECT_EQ(kAnswered, readLine("", line, false));
    EXPECT_EQ(line, std::string(255, 'y'));
    EXPECT_EQ(kAnswered, readLine("", line, false));
    EXPECT_EQ(line, "next");
    EXPECT_EQ(kAnswered, readLine("", line, true));
    EXPECT_EQ(line, longLine);
    testing::internal::GetCapturedStdout();
}

TEST_F(oxConsoleTest, EndOfInputIsReportedOnlyWhenNothingWasRead) {
    feedInput("\nlast\r");
    std::string line;
    testing::internal::CaptureStdout();
    EXPECT_EQ(kAnswered, readLine("> ", line, false));
    EXPECT_EQ(line, "");
    // A last line without its line end is an ordinary answer.
    EXPECT_EQ(kAnswered, readLine("> ", line, false));
    EXPECT_EQ(line, "last");
    line = "stale";
    EXPECT_EQ(kEnded, readLine("> ", line, false));
    EXPECT_EQ(line, "");
    // Ended input stays ended, in both modes, without waiting.
    EXPECT_EQ(kEnded, readLine("> ", line, true));
    EXPECT_EQ(kEnded, readLine("> ", line, false));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "> > > > \n> ");

    feedInput("pass");
    testing::internal::CaptureStdout();
    EXPECT_EQ(kAnswered, readLine("> ", line, true));
    EXPECT_EQ(line, "pass");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "> \n");
}

TEST_F(oxConsoleTest, OverlongAnswersAndNulBytesAreRefused) {
    const size_t kLimit = oxConsole_maxAnswerLength;
    const std::string withNul("a\0b\n", 4);
    const struct {
        std::string itsInput;
        bool itsHidden;
        oxConsoleAnswer itsAnswer;
    } cases[] = {
        {std::string(kLimit, 'x') + "\r\n", false, kAnswered},
        {std::string(kLimit, 'x') + "\n", true, kAnswered},
        {std::string(kLimit + 1, 'x') + "\n", false, oxConsoleAnswer::tooLong},
        {std::string(kLimit + 1, 'x') + "\r\n", true, oxConsoleAnswer::tooLong},
        // Read only up to the bound, however long the line.
        {std::string(8 << 20, 'x'), false, oxConsoleAnswer::tooLong},
        {withNul, false, oxConsoleAnswer::nulByte},
        {withNul, true, oxConsoleAnswer::nulByte},
    };
    for (const auto& test : cases) {
        feedFile(test.itsInput);
        std::string line;
        testing::internal::CaptureStdout();
        EXPECT_EQ(readLine("", line, test.itsHidden), test.itsAnswer) << test.itsInput.size();
        testing::internal::GetCapturedStdout();
        EXPECT_LE(line.size(), kLimit + 1);
        EXPECT_LE(ftell(stdin), static_cast<long>(2 * kLimit));
    }
}

}  // namespace
