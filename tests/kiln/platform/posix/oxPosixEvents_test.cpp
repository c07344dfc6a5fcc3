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

// An unnamed event that must close at the end of its scope.
class Event {
public:
    Event(BOOL inManualReset, BOOL inInitialState)
        : itsHandle(CreateEventA(nullptr, inManualReset, inInitialState, nullptr)) {
        EXPECT_NE(itsHandle, nullptr);
    }
    ~Event() { EXPECT_EQ(CloseHandle(itsHandle), TRUE); }
    operator HANDLE() const { return itsHandle; }

private:
    HANDLE itsHandle;
};

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
            if (thread.joinable())
                thread.join();
        }
    }

    int finished() const { return itsFinished; }

    // Waits (boundedly) until at least inCount waits have returned.
    void awaitFinished(int inCount) const {
        for (int round = 0; round < 300 && itsFinished < inCount; ++round)
            std::this_thread::sleep_for(milliseconds(10));
    }

    // Joins every thread; returns how many waits succeeded.
    int join() {
        for (auto& thread : itsThreads)
            thread.join();
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

TEST(oxPosixEventsTest, ManualResetEventStaysSignalledUntilReset) {
    {
        Event event(TRUE, FALSE);
        EXPECT_FALSE(isSignalled(event));
        EXPECT_EQ(SetEvent(event), TRUE);
        EXPECT_TRUE(isSignalled(event));
        EXPECT_TRUE(isSignalled(event));
        EXPECT_EQ(SetEvent(event), TRUE);
        EXPECT_EQ(ResetEvent(event), TRUE);
        EXPECT_FALSE(isSignalled(event));
    }
    EXPECT_TRUE(isSignalled(Event(TRUE, TRUE)));
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "shared between processes"), nullptr);
}

TEST(oxPosixEventsTest, SetReleasesEveryWaiterOfAManualResetEvent) {
    Event event(TRUE, FALSE);
    Waiters waiters(event, 3, 5000);
    EXPECT_EQ(waiters.finished(), 0);
    EXPECT_EQ(SetEvent(event), TRUE);
    EXPECT_EQ(waiters.join(), 3);
    EXPECT_TRUE(isSignalled(event));
}

TEST(oxPosixEventsTest, AutoResetEventIsConsumedByTheWaitItEnds) {
    Event event(FALSE, TRUE);
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
}

TEST(oxPosixEventsTest, PulseReleasesEveryCurrentWaiterOfAManualResetEventButOneOfAnAutoResetEvent) {
    for (BOOL manualReset : {TRUE, FALSE}) {
        SCOPED_TRACE(manualReset ? "manual reset" : "auto reset");
        Event event(manualReset, FALSE);
        // With auto reset the other waiter is left to time out.
        Waiters waiters(event, 3, manualReset ? 5000 : 1000);
        EXPECT_EQ(PulseEvent(event), TRUE);
        EXPECT_EQ(waiters.join(), manualReset ? 3 : 1);
        EXPECT_FALSE(isSignalled(event));
        // A later waiter is not released by the pulse that went before.
        EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    }
}

TEST(oxPosixEventsTest, PulseWithNobodyWaitingLeavesTheEventNonSignalled) {
    for (BOOL manualReset : {TRUE, FALSE}) {
        SCOPED_TRACE(manualReset ? "manual reset" : "auto reset");
        Event event(manualReset, FALSE);
        EXPECT_EQ(PulseEvent(event), TRUE);
        EXPECT_FALSE(isSignalled(event));
        EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);

        EXPECT_EQ(SetEvent(event), TRUE);
        EXPECT_EQ(PulseEvent(event), TRUE);
        EXPECT_FALSE(isSignalled(event));
    }
}

}  // namespace

#endif
