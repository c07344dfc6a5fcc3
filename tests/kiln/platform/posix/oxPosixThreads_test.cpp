// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

}  // namespace

#endif
