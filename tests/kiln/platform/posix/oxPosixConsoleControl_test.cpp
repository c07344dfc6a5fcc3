// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the handlers saw, in call order, e.g. "take 0" or "pass 2".
std::mutex theCallsLock;
std::vector<std::string> theCalls;
DWORD theHandlerThread = 0;

void record(const char* inWho, DWORD inCtrlType) {
    std::lock_guard<std::mutex> lock(theCallsLock);
    theCalls.push_back(std::string(inWho) + " " + std::to_string(inCtrlType));
    theHandlerThread = GetCurrentThreadId();
}

BOOL WINAPI takingHandler(DWORD inCtrlType) {
    record("take", inCtrlType);
    return TRUE;
}

BOOL WINAPI passingHandler(DWORD inCtrlType) {
    record("pass", inCtrlType);
    return FALSE;
}

// Runs inSend with no calls recorded, then waits (at most 5 s) until the
// handlers have recorded inCount calls.
template <typename Send>
std::vector<std::string> callsAfter(Send inSend, size_t inCount) {
    {
        std::lock_guard<std::mutex> lock(theCallsLock);
        theCalls.clear();
    }
    inSend();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        std::lock_guard<std::mutex> lock(theCallsLock);
        if (theCalls.size() >= inCount || std::chrono::steady_clock::now() > deadline)
            return theCalls;
    }
}

// Sends a process-directed signal.
std::vector<std::string> signalAndWait(int inSignal, size_t inCount) {
    return callsAfter([inSignal] { kill(getpid(), inSignal); }, inCount);
}

class oxPosixConsoleControlTest : public testing::Test {
protected:
    void SetUp() override {
        // A runner may start us with these ignored, which the emulation
        // respects; the tests need them delivered.
        for (int signal : {SIGINT, SIGQUIT, SIGHUP}) {
            struct sigaction current;
            if (sigaction(signal, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
                current.sa_handler == SIG_IGN)
                ::signal(signal, SIG_DFL);
        }
    }
};

TEST_F(oxPosixConsoleControlTest, SignalsBecomeControlTypesOnAThreadOfTheirOwn) {
    ASSERT_TRUE(SetConsoleCtrlHandler(takingHandler, TRUE));

    EXPECT_EQ(signalAndWait(SIGINT, 1), std::vector<std::string>{"take 0"});
    EXPECT_EQ(signalAndWait(SIGQUIT, 1), std::vector<std::string>{"take 1"});
    EXPECT_EQ(signalAndWait(SIGHUP, 1), std::vector<std::string>{"take 2"});
    {
        std::lock_guard<std::mutex> lock(theCallsLock);
        EXPECT_NE(theHandlerThread, 0u);
        EXPECT_NE(theHandlerThread, GetCurrentThreadId());
    }

    // A thread started after registration must not take the signal away
    // from the watcher: it inherits the blocked mask.
    std::vector<std::string> fromThread;
    std::thread other([&] { fromThread = signalAndWait(SIGINT, 1); });
    other.join();
    EXPECT_EQ(fromThread, std::vector<std::string>{"take 0"});

    EXPECT_TRUE(SetConsoleCtrlHandler(takingHandler, FALSE));
    EXPECT_FALSE(SetConsoleCtrlHandler(takingHandler, FALSE));
    EXPECT_FALSE(SetConsoleCtrlHandler(nullptr, TRUE));
}

TEST_F(oxPosixConsoleControlTest, NewestHandlerFirstAndFalsePassesOn) {
    ASSERT_TRUE(SetConsoleCtrlHandler(takingHandler, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(passingHandler, TRUE));

    EXPECT_EQ(signalAndWait(SIGINT, 2), (std::vector<std::string>{"pass 0", "take 0"}));

    // With the passing handler gone only the taking one remains.
    EXPECT_TRUE(SetConsoleCtrlHandler(passingHandler, FALSE));
    EXPECT_EQ(signalAndWait(SIGHUP, 1), std::vector<std::string>{"take 2"});
    EXPECT_TRUE(SetConsoleCtrlHandler(takingHandler, FALSE));
}

TEST_F(oxPosixConsoleControlTest, SignalStartedInAnEarlierThreadStillReachesTheHandlers) {
    // This thread runs with the signals unblocked, as a thread started
    // before the first registration would.
    std::vector<std::string> fromThread;
    std::thread early([&] {
        ASSERT_TRUE(SetConsoleCtrlHandler(takingHandler, TRUE));
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        // Thread-directed, so it lands in this unblocked thread.
        fromThread = callsAfter([] { pthread_kill(pthread_self(), SIGINT); }, 1);
    });
    early.join();
    EXPECT_EQ(fromThread, std::vector<std::string>{"take 0"});
    EXPECT_TRUE(SetConsoleCtrlHandler(takingHandler, FALSE));
}

class oxPosixConsoleControlDeathTest : public oxPosixConsoleControlTest {};

TEST_F(oxPosixConsoleControlDeathTest, UnhandledSignalTakesItsDefaultAction) {
    // A forked child would lack the watcher thread; a fresh process has none
    // until it registers.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetConsoleCtrlHandler(passingHandler, TRUE);
            kill(getpid(), SIGINT);
            sleep(5);
            _exit(0);
        },
        testing::KilledBySignal(SIGINT), "");
}

}  // namespace

#endif
