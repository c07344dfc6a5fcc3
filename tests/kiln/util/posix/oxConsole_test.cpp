#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "oxConsole.h"
#include "oxWin32.h"

namespace {

const oxConsoleAnswer kAnswered = oxConsoleAnswer::answered;
const oxConsoleAnswer kEnded = oxConsoleAnswer::ended;
const oxConsoleAnswer kInterrupted = oxConsoleAnswer::interrupted;

// The test's control handler takes every event; it requests a stop only
// when told to.
std::atomic<bool> theHandlerStops{false};
std::atomic<bool> theStopRequested{false};

BOOL WINAPI takingHandler(DWORD) {
    if (theHandlerStops)
        theStopRequested = true;
    return TRUE;
}

bool isStopRequested() {
    return theStopRequested;
}

void onUnrelatedSignal(int) {}

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

    // Standard input is a pipe nothing has been written to yet; the
    // result is its write end.
    int feedLater() {
        int ends[2];
        if (pipe(ends) != 0)
            return -1;
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        clearerr(stdin);
        return ends[1];
    }

    int itsSavedInput = -1;
};

class oxConsoleStopTest : public oxConsoleTest {
protected:
    void SetUp() override {
        oxConsoleTest::SetUp();
        // A runner may start us with these ignored, which the control
        // emulation respects; the tests need them delivered.
        for (int signal : {SIGINT, SIGQUIT, SIGHUP}) {
            struct sigaction current;
            if (sigaction(signal, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
                current.sa_handler == SIG_IGN)
                ::signal(signal, SIG_DFL);
        }
        theStopRequested = false;
    }
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

TEST_F(oxConsoleStopTest, BlockedReadIsEndedByAControlEventTakenForAStopOnly) {
    ASSERT_TRUE(SetConsoleCtrlHandler(takingHandler, TRUE));
    struct sigaction unrelated {};
    unrelated.sa_handler = onUnrelatedSignal;
    sigemptyset(&unrelated.sa_mask);
    // Without SA_RESTART, as the wake: the read fails with EINTR too.
    sigaction(SIGUSR1, &unrelated, nullptr);
    const struct {
        int itsSignal;
        bool itsStops;
        bool itsHidden;
        oxConsoleAnswer itsAnswer;
    } cases[] = {
        {SIGINT, true, false, kInterrupted},
        {SIGHUP, true, true, kInterrupted},
        {SIGQUIT, true, false, kInterrupted},
        // Taken, but nobody asked for a stop: the read goes on.
        {SIGINT, false, false, kAnswered},
        // Not a control event, sent to the reading thread itself.
        {SIGUSR1, false, true, kAnswered},
    };
    const pthread_t reader = pthread_self();
    for (const auto& test : cases) {
        const int writeEnd = feedLater();
        ASSERT_GE(writeEnd, 0);
        theHandlerStops = test.itsStops;
        theStopRequested = false;
        std::atomic<bool> returned{false};
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (test.itsSignal == SIGUSR1)
                pthread_kill(reader, SIGUSR1);
            else
                kill(getpid(), test.itsSignal);
            // Long enough for a read that is ended to return (2 s at most),
            // or that goes on to show it; then the line it is waiting for.
            const int waits = test.itsAnswer == kAnswered ? 20 : 200;
            for (int waited = 0; waited < waits && !returned; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_EQ(write(writeEnd, "late\n", 5), 5);
        });
        std::string line = "stale";
        testing::internal::CaptureStdout();
        const oxConsoleAnswer answer = readLine("", line, test.itsHidden, isStopRequested);
        returned = true;
        sender.join();
        testing::internal::GetCapturedStdout();
        close(writeEnd);
        EXPECT_EQ(answer, test.itsAnswer) << test.itsSignal;
        EXPECT_EQ(line, test.itsAnswer == kAnswered ? "late" : "") << test.itsSignal;
    }

    // A stop requested before the read: nothing is read, nothing awaited.
    feedInput("x\n");
    theStopRequested = true;
    std::string line;
    EXPECT_EQ(readLine("", line, false, isStopRequested), kInterrupted);
    EXPECT_EQ(getc(stdin), 'x');
    EXPECT_TRUE(SetConsoleCtrlHandler(takingHandler, FALSE));
}

}  // namespace
