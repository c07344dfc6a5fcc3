// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

TEST(oxPosixThreadsTest, ThreadIdsAreKernelIdsDistinctPerThreadAndStable) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(mine, GetCurrentThreadId());
    // The first thread's kernel id is the process id.
    EXPECT_EQ(mine, static_cast<DWORD>(getpid()));

    DWORD first = 0;
    DWORD second = 0;
    std::thread other([&] {
        first = GetCurrentThreadId();
        second = GetCurrentThreadId();
    });
    other.join();
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, mine);
    EXPECT_EQ(first, second);
}

TEST(oxPosixThreadsTest, ForkedChildHasItsOwnThreadId) {
    const DWORD parent = GetCurrentThreadId();  // cached before the fork
    const pid_t child = fork();
    if (child == 0) {
        const DWORD mine = GetCurrentThreadId();
        _exit(mine == static_cast<DWORD>(getpid()) && mine != parent ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(GetCurrentThreadId(), parent);
}

TEST(oxPosixThreadsTest, TickCountFollowsTheMonotonicClock) {
    using namespace std::chrono;
    const DWORD before = GetTickCount();
    const auto steadyMilliseconds =
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    // Same clock, cut to 32 bits: the two readings lie within a few ms.
    const DWORD drift = static_cast<DWORD>(steadyMilliseconds) - before;
    EXPECT_LE(drift, 50u);

    std::this_thread::sleep_for(milliseconds(60));
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 59u);
    EXPECT_LT(elapsed, 5000u);
}

bool tryFromAnotherThread(CRITICAL_SECTION& ioSection) {
    bool entered = false;
    std::thread other([&] {
        entered = TryEnterCriticalSection(&ioSection) != FALSE;
        if (entered)
            LeaveCriticalSection(&ioSection);
    });
    other.join();
    return entered;
}

TEST(oxPosixThreadsTest, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);

    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_FALSE(tryFromAnotherThread(section));

    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    // Still held once.
    EXPECT_FALSE(tryFromAnotherThread(section));

    LeaveCriticalSection(&section);
    EXPECT_TRUE(tryFromAnotherThread(section));
    DeleteCriticalSection(&section);
}

TEST(oxPosixThreadsTest, LeaveByAnotherThreadLeavesTheSectionHeld) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    std::thread other([&] { LeaveCriticalSection(&section); });
    other.join();
    EXPECT_FALSE(tryFromAnotherThread(section));
    LeaveCriticalSection(&section);
    EXPECT_TRUE(tryFromAnotherThread(section));
    DeleteCriticalSection(&section);
}

// Threads asleep on a held section are handed it one after another: each
// Leave wakes the next, none is forgotten (that thread would sleep for ever).
TEST(oxPosixThreadsTest, CriticalSectionWakesEverySleeperInTurn) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    const int kSleepers = 6;
    std::atomic<int> arrived{0};
    std::atomic<int> served{0};
    EnterCriticalSection(&section);
    std::vector<std::thread> threads;
    for (int index = 0; index < kSleepers; ++index) {
        threads.emplace_back([&] {
            arrived.fetch_add(1);
            EnterCriticalSection(&section);
            served.fetch_add(1, std::memory_order_relaxed);
            LeaveCriticalSection(&section);
        });
    }
    // Bounded: waits until all have come and one has flagged itself asleep.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((arrived.load() < kSleepers || (section.itsState.load() & kOxPosixSectionHasSleepers) == 0) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_NE(section.itsState.load() & kOxPosixSectionHasSleepers, 0u);
    EXPECT_EQ(served.load(), 0);
    LeaveCriticalSection(&section);
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(served.load(), kSleepers);
    EXPECT_TRUE(tryFromAnotherThread(section));
    DeleteCriticalSection(&section);
}

// Many threads, each entering again while it holds the section and trying
// it from the inside: one owner at a time, every increment kept.
TEST(oxPosixThreadsTest, CriticalSectionUnderContentionStaysExclusiveAndRecursive) {
    struct Case {
        int itsThreads;
        int itsDepth;
    };
    for (const Case& each : {Case{2, 1}, Case{8, 1}, Case{8, 3}, Case{16, 2}}) {
        CRITICAL_SECTION section;
        InitializeCriticalSection(&section);
        const int kRounds = 10000;
        long counter = 0;
        std::atomic<DWORD> holder{0};
        std::atomic<int> faults{0};
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int index = 0; index < each.itsThreads; ++index) {
            threads.emplace_back([&] {
                const DWORD self = GetCurrentThreadId();
                // All start together, so that they meet.
                ready.fetch_add(1);
                while (ready.load() < each.itsThreads)
                    std::this_thread::yield();
                for (int round = 0; round < kRounds; ++round) {
                    EnterCriticalSection(&section);
                    if (holder.exchange(self) != 0)
                        faults.fetch_add(1);
                    for (int level = 1; level < each.itsDepth; ++level) {
                        if (level % 2 == 0)
                            EnterCriticalSection(&section);
                        else if (TryEnterCriticalSection(&section) == FALSE)
                            faults.fetch_add(1);
                    }
                    ++counter;
                    // Now and then the owner is descheduled holding it, so others sleep.
                    if (round % 64 == 0)
                        std::this_thread::yield();
                    for (int level = 1; level < each.itsDepth; ++level)
                        LeaveCriticalSection(&section);
                    if (holder.exchange(0) != self)
                        faults.fetch_add(1);
                    LeaveCriticalSection(&section);
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(faults.load(), 0) << each.itsThreads << " threads, depth " << each.itsDepth;
        EXPECT_EQ(counter, static_cast<long>(each.itsThreads) * kRounds)
            << each.itsThreads << " threads, depth " << each.itsDepth;
        EXPECT_TRUE(tryFromAnotherThread(section));
        DeleteCriticalSection(&section);
    }
}

TEST(oxPosixThreadsTest, CriticalSectionSerialisesCounting) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;
    const int kThreads = 4;
    const int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                EnterCriticalSection(&section);
                const long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
                LeaveCriticalSection(&section);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
    DeleteCriticalSection(&section);
}

// What a process that has one thread does with a section it holds when it
// starts a second thread: that thread must be refused, sleep on it and be
// woken when it is left. One bit per thing that went wrong.
int wrongsOfASectionHeldAcrossTheFirstThread() {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    int wrong = oxPosixHasOneThread() ? 0 : 1;
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);  // still held once
    std::atomic<bool> refused{false};
    std::atomic<bool> entered{false};
    std::thread other([&] {
        refused = TryEnterCriticalSection(&section) == FALSE;
        EnterCriticalSection(&section);
        entered = true;
        LeaveCriticalSection(&section);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!refused || entered)
        wrong |= 2;
    LeaveCriticalSection(&section);
    other.join();
    if (!entered)
        wrong |= 4;
    // Free again, and now taken the way of many threads.
    if (TryEnterCriticalSection(&section) == FALSE || tryFromAnotherThread(section))
        wrong |= 8;
    LeaveCriticalSection(&section);
    // And it still excludes: two threads count under it.
    long counter = 0;
    auto count = [&] {
        for (int round = 0; round < 200000; ++round) {
            EnterCriticalSection(&section);
            ++counter;
            LeaveCriticalSection(&section);
        }
    };
    std::thread first(count);
    std::thread second(count);
    first.join();
    second.join();
    if (counter != 400000)
        wrong |= 16;
    return wrong;
}

// With one thread, free sections are taken and left with plain stores.
// The threadsafe style runs the case in a program started anew, which has
// one thread (a forked child of this one may not count as such).
TEST(oxPosixThreadsDeathTest, ASectionTakenWithOneThreadHoldsAgainstThreadsStartedLater) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(wrongsOfASectionHeldAcrossTheFirstThread()), testing::ExitedWithCode(0), "");
}

}  // namespace

#endif
