// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using std::chrono::milliseconds;

// Long enough for the waiters of a loaded machine to be inside their wait
// before the signal comes; nothing here fails merely by being slow.
const milliseconds kSettle(150);

bool isSignalled(HANDLE inEvent) {
    return WaitForSingleObject(inEvent, 0) == WAIT_OBJECT_0;
}

// Threads that each wait once on an event, for at most inMilliseconds.
class Waiters {
public:
    Waiters(HANDLE inEvent, int inCount, DWORD inMilliseconds) : itsResults(inCount, 0) {
        for (int i = 0; i < inCount; ++i) {
            itsThreads.emplace_back([this, inEvent, inMilliseconds, i] {
                itsResults[i] = WaitForSingleObject(inEvent, inMilliseconds);
                ++itsFinished;
            });
        }
        std::this_thread::sleep_for(kSettle);
    }

    ~Waiters() {
        for (auto& thread : itsThreads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

    int finished() const { return itsFinished; }

    // Waits (boundedly) until at least inCount waits have returned.
    void awaitFinished(int inCount) const {
        for (int round = 0; round < 300 && itsFinished < inCount; ++round) {
            std::this_thread::sleep_for(milliseconds(10));
        }
    }

    // Joins every thread; returns how many waits succeeded.
    int join() {
        for (auto& thread : itsThreads) {
            thread.join();
        }
        int released = 0;
        for (DWORD result : itsResults) {
            EXPECT_TRUE(result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT) << result;
            released += result == WAIT_OBJECT_0 ? 1 : 0;
        }
        return released;
    }

private:
    std::vector<DWORD> itsResults;
    std::vector<std::thread> itsThreads;
    std::atomic<int> itsFinished{0};
};

TEST(PosixEvents, ManualResetEventStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(isSignalled(event));
    EXPECT_EQ(SetEvent(event), TRUE);
    EXPECT_TRUE(isSignalled(event));
    EXPECT_TRUE(isSignalled(event));
    EXPECT_EQ(SetEvent(event), TRUE);
    EXPECT_EQ(ResetEvent(event), TRUE);
    EXPECT_FALSE(isSignalled(event));
    EXPECT_EQ(CloseHandle(event), TRUE);

    HANDLE initiallySet = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(initiallySet, nullptr);
    EXPECT_TRUE(isSignalled(initiallySet));
    EXPECT_EQ(CloseHandle(initiallySet), TRUE);

    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "shared between processes"), nullptr);
}

TEST(PosixEvents, SetReleasesEveryWaiterOfAManualResetEvent) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    Waiters waiters(event, 3, 5000);
    EXPECT_EQ(waiters.finished(), 0);
    EXPECT_EQ(SetEvent(event), TRUE);
    EXPECT_EQ(waiters.join(), 3);
    EXPECT_TRUE(isSignalled(event));
    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(PosixEvents, AutoResetEventIsConsumedByTheWaitItEnds) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(isSignalled(event));
    EXPECT_FALSE(isSignalled(event));

    // Two blocked waiters: each set lets exactly one through.
    Waiters waiters(event, 2, 5000);
    EXPECT_EQ(SetEvent(event), TRUE);
    waiters.awaitFinished(1);
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(waiters.finished(), 1);
    EXPECT_EQ(SetEvent(event), TRUE);
    EXPECT_EQ(waiters.join(), 2);
    EXPECT_FALSE(isSignalled(event));
    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(PosixEvents, PulseReleasesEveryCurrentWaiterOfAManualResetEvent) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    Waiters waiters(event, 3, 5000);
    EXPECT_EQ(PulseEvent(event), TRUE);
    EXPECT_EQ(waiters.join(), 3);
    EXPECT_FALSE(isSignalled(event));
    // A later waiter is not released by the pulse that went before.
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(PosixEvents, PulseReleasesOneCurrentWaiterOfAnAutoResetEvent) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    Waiters waiters(event, 2, 1000);
    EXPECT_EQ(PulseEvent(event), TRUE);
    // The other waiter is left to time out.
    EXPECT_EQ(waiters.join(), 1);
    EXPECT_FALSE(isSignalled(event));
    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(PosixEvents, PulseWithNobodyWaitingLeavesTheEventNonSignalled) {
    for (BOOL manualReset : {TRUE, FALSE}) {
        SCOPED_TRACE(manualReset ? "manual reset" : "auto reset");
        HANDLE event = CreateEventA(nullptr, manualReset, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(PulseEvent(event), TRUE);
        EXPECT_FALSE(isSignalled(event));
        EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);

        EXPECT_EQ(SetEvent(event), TRUE);
        EXPECT_EQ(PulseEvent(event), TRUE);
        EXPECT_FALSE(isSignalled(event));
        EXPECT_EQ(CloseHandle(event), TRUE);
    }
}

}  // namespace

#endif
