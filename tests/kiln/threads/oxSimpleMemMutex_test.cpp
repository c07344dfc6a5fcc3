#include "oxSimpleMemMutex.h"

// These tests take, take again and give back locks in ways the thread-safety
// analysis rejects on purpose (recursion, unlocks by a thread that is not
// the owner): it is off for this file.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wthread-safety-analysis"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "oxLogCapture.h"
#include "oxStMutex.h"

TEST(oxSimpleMemMutexTest, OwnerLocksRecursivelyAndFreesAtZero) {
    oxSimpleMemMutex mutex("counted");
    EXPECT_EQ(mutex.getName(), "counted");
    EXPECT_TRUE(mutex.lock());
    EXPECT_TRUE(mutex.lock());
    EXPECT_TRUE(mutex.lock());
    EXPECT_EQ(mutex.getNumLocks(), 3u);
    EXPECT_EQ(mutex.getLockingThreadID(), GetCurrentThreadId());
    mutex.unlock();
    mutex.unlock();
    EXPECT_TRUE(mutex.isLocked());
    EXPECT_EQ(mutex.getNumLocks(), 1u);
    mutex.unlock();
    EXPECT_FALSE(mutex.isLocked());
    EXPECT_EQ(mutex.getNumLocks(), 0u);
}

TEST(oxSimpleMemMutexTest, UnlockByNonOwnerIsIgnoredSilently) {
    oxSimpleMemMutex mutex(nullptr);
    EXPECT_EQ(mutex.getName(), "");
    oxLogCapture capture(6);
    mutex.unlock();  // free
    mutex.lock();
    std::thread other([&mutex] { mutex.unlock(); });
    other.join();
    EXPECT_TRUE(mutex.isLocked());
    EXPECT_EQ(mutex.getNumLocks(), 1u);
    mutex.unlock();
    EXPECT_EQ(capture.finish(), "");
}

TEST(oxSimpleMemMutexTest, SecondThreadWaitsForTheOwner) {
    oxSimpleMemMutex mutex("shared");
    std::atomic<bool> otherHasIt{false};
    mutex.lock();
    std::thread other([&] {
        oxStMutex hold(mutex);
        otherHasIt = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherHasIt);
    mutex.unlock();
    other.join();
    EXPECT_TRUE(otherHasIt);
    EXPECT_FALSE(mutex.isLocked());
}

namespace {
// Reaches the count, to put owner and count out of step as only a
// corrupted state would.
class oxCountedMutex : public oxSimpleMemMutex {
public:
    oxCountedMutex() : oxSimpleMemMutex("counted") {}
    void clearCount() { numLocks = 0; }
};
}  // namespace

TEST(oxSimpleMemMutexTest, CountOutOfStepWithOwnerFreesTheLock) {
    oxCountedMutex mutex;
    mutex.lock();
    mutex.clearCount();
    oxLogCapture capture(6);
    mutex.unlock();
    EXPECT_NE(capture.finish().find(offendingCommand("numLocks > 0")), std::string::npos);
    EXPECT_FALSE(mutex.isLocked());
    EXPECT_EQ(mutex.getNumLocks(), 0u);
    std::thread other([&mutex] { EXPECT_TRUE(oxStMutex(mutex).isLocked()); });
    other.join();
}

// Every increment made under the lock arrives: a fast path that let two
// threads in at once would lose some (and the thread sanitizer would say).
TEST(oxSimpleMemMutexTest, ThreadsTakingTurnsLoseNothing) {
    oxSimpleMemMutex mutex("turns");
    long counted = 0;
    std::vector<std::thread> threads;
    for (int index = 0; index < 4; ++index) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20000; ++round) {
                oxStMutex hold(mutex);
                oxStMutex again(static_cast<oxMutex&>(mutex));
                ++counted;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counted, 80000);
    EXPECT_FALSE(mutex.isLocked());
}

TEST(oxStMutexTest, HoldsForItsLifeAndCanLetGoEarly) {
    oxSimpleMemMutex mutex("held");
    {
        oxStMutex hold(mutex);
        EXPECT_TRUE(hold.isLocked());
        EXPECT_EQ(mutex.getNumLocks(), 1u);
        hold.unlock();
        EXPECT_FALSE(mutex.isLocked());
        hold.unlock();  // nothing held, nothing released
        {
            oxStMutex inner(mutex);
            hold.lock();
            EXPECT_EQ(mutex.getNumLocks(), 2u);
        }
        EXPECT_EQ(mutex.getNumLocks(), 1u);
    }
    EXPECT_FALSE(mutex.isLocked());
}

TEST(oxStMutexTest, NullMutexHoldsNothing) {
    oxLogCapture capture(6);
    oxStMutex hold(static_cast<oxMutex*>(nullptr));
    EXPECT_FALSE(hold.isLocked());
    hold.lock();
    EXPECT_FALSE(hold.isLocked());
    EXPECT_NE(capture.finish().find(offendingCommand("itsMutex")), std::string::npos);
}
