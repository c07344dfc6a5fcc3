#include "oxMemMutex.h"

// These tests take, take again and give back locks in ways the thread-safety
// analysis rejects on purpose (recursion, unlocks by a thread that is not
// the owner): it is off for this file.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wthread-safety-analysis"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "oxException.h"
#include "oxLogCapture.h"
#include "oxMemMutexTesting.h"
#include "oxStMutex.h"
#include "oxStringUtil.h"
#include "oxThread.h"

namespace {
using Clock = std::chrono::steady_clock;

// Waits (bounded) until the thread is recorded as waiting for the mutex.
bool waitUntilBlocked(DWORD inThreadID, oxMemMutex& inMutex) {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (getBlockingMutexForTesting(inThreadID) == &inMutex)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::string named(const oxMemMutex& inMutex) {
    return inMutex.getName() + "(" + std::to_string(reinterpret_cast<uintptr_t>(&inMutex)) + ")";
}

std::string id(DWORD inThreadID) {
    return toDecimalString(inThreadID);
}

// Locks first, then waits for second; records its id.
class Waiter {
public:
    Waiter(oxMemMutex& inFirst, oxMemMutex& inSecond) {
        itsThread = std::thread([this, &inFirst, &inSecond] {
            itsID = GetCurrentThreadId();
            oxStMutex holdFirst(inFirst);
            itsHoldsFirst = true;
            oxStMutex holdSecond(inSecond);
            itsGotSecond = true;
        });
        while (!itsHoldsFirst)
            std::this_thread::yield();
    }
    ~Waiter() {
        if (itsThread.joinable())
            itsThread.join();
    }
    void join() { itsThread.join(); }

    std::atomic<DWORD> itsID{0};
    std::atomic<bool> itsHoldsFirst{false};
    std::atomic<bool> itsGotSecond{false};

private:
    std::thread itsThread;
};

// Gives itself a name in the thread table for as long as it lives.
class oxNamedThread : public oxThread {
public:
    explicit oxNamedThread(const char* inName) : oxThread(nullptr) {
        itsName = inName;
        itsThreadID = GetCurrentThreadId();
        setThreadState(running);
        registerThread(itsThreadID, this);
    }
    ~oxNamedThread() override { setThreadState(stopped); }
    void run() override {}
};
}  // namespace

TEST(oxMemMutexTest, TwoThreadsWaitingOnEachOtherAreRefused) {
    oxMemMutex x("X");
    oxMemMutex y("Y");
    DWORD self = GetCurrentThreadId();
    oxStMutex holdX(x);
    Waiter other(y, x);
    ASSERT_TRUE(waitUntilBlocked(other.itsID, x));

    oxLogCapture capture(6);
    std::string expected = "Detected deadlock. " + id(self) + "->[" + named(y) + "]-" + id(other.itsID) +
                           "->[" + named(x) + "]-" + id(self);
    try {
        y.lock();
        ADD_FAILURE() << "no deadlock detected";
    } catch (const oxException& caught) {
        EXPECT_EQ(caught.errorMessage.getErrorValue(), oxErr_internal);
        EXPECT_EQ(std::string(caught.what()), expected + ".");
    }
    std::string report = capture.finish();
    EXPECT_NE(report.find("Offending command: \"false\"  --- " + expected + ".\n"), std::string::npos)
        << report;
    // Still holds what it held, got nothing new, left no entry behind.
    EXPECT_EQ(x.getLockingThreadID(), self);
    EXPECT_FALSE(y.getLockingThreadID() == self);
    EXPECT_EQ(getBlockingMutexForTesting(self), nullptr);
    EXPECT_FALSE(other.itsGotSecond);
    holdX.unlock();
    other.join();
    EXPECT_TRUE(other.itsGotSecond);
}

TEST(oxMemMutexTest, RingOfThreeIsRefusedToTheOneClosingIt) {
    oxMemMutex x("X");
    oxMemMutex y("");
    oxMemMutex z("Z");
    DWORD self = GetCurrentThreadId();
    oxStMutex holdZ(z);
    Waiter b(y, z);
    ASSERT_TRUE(waitUntilBlocked(b.itsID, z));
    Waiter a(x, y);
    ASSERT_TRUE(waitUntilBlocked(a.itsID, y));

    std::string unnamedY = std::to_string(reinterpret_cast<uintptr_t>(&y));
    try {
        oxStMutex holdX(x);
        ADD_FAILURE() << "no deadlock detected";
    } catch (const oxException& caught) {
        EXPECT_EQ(std::string(caught.what()), "Detected deadlock. " + id(self) + "->[" + named(x) + "]-" +
                                                  id(a.itsID) + "->[" + unnamedY + "]-" + id(b.itsID) +
                                                  "->[" + named(z) + "]-" + id(self) + ".");
    }
    holdZ.unlock();
    b.join();
    a.join();
    EXPECT_TRUE(a.itsGotSecond && b.itsGotSecond);
}

TEST(oxMemMutexTest, NamedThreadsAreDescribedByNameAndId) {
    oxMemMutex x("X");
    oxMemMutex y("Y");
    oxNamedThread me("requester");
    oxStMutex holdX(x);
    Waiter other(y, x);
    ASSERT_TRUE(waitUntilBlocked(other.itsID, x));
    try {
        y.lock();
        ADD_FAILURE() << "no deadlock detected";
    } catch (const oxException& caught) {
        std::string self = "requester(" + id(me.getThreadID()) + ")";
        EXPECT_EQ(std::string(caught.what()).substr(0, 19 + self.size() + 3),
                  "Detected deadlock. " + self + "->[");
    }
    holdX.unlock();
}

TEST(oxMemMutexTest, WaitingOnAThreadThatWaitsForNobodyIsNoDeadlock) {
    oxMemMutex x("X");
    oxMemMutex y("Y");
    std::atomic<bool> releaseX{false};
    std::atomic<DWORD> holderID{0};
    std::thread holder([&] {
        oxStMutex hold(x);
        holderID = GetCurrentThreadId();
        while (!releaseX)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (holderID == 0)
        std::this_thread::yield();
    // middle holds Y and waits for X, whose holder waits for nothing.
    Waiter middle(y, x);
    ASSERT_TRUE(waitUntilBlocked(middle.itsID, x));
    std::atomic<bool> requesterGotY{false};
    std::thread requester([&] {
        oxStMutex hold(y);  // blocks, must not throw
        requesterGotY = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(requesterGotY);
    releaseX = true;
    holder.join();
    middle.join();
    requester.join();
    EXPECT_TRUE(requesterGotY);
}

TEST(oxMemMutexTest, ConsistentOrderNeverRaisesAFalseAlarm) {
    oxMemMutex first("first");
    oxMemMutex second("second");
    oxMemMutex third("third");
    std::atomic<int> exceptions{0};
    std::atomic<int> rounds{0};
    std::vector<std::thread> threads;
    for (int index = 0; index < 4; ++index) {
        threads.emplace_back([&] {
            for (int round = 0; round < 2000; ++round) {
                try {
                    oxStMutex a(first);
                    oxStMutex b(second);
                    oxStMutex c(third);
                    oxStMutex again(second);  // recursion in between
                    ++rounds;
                } catch (const oxException&) {
                    ++exceptions;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(exceptions, 0);
    EXPECT_EQ(rounds, 8000);
    EXPECT_FALSE(first.isLocked() || second.isLocked() || third.isLocked());
}

// Threads that wait while holding a lock (so that searches follow chains
// of owners) but always in one order: no false alarm, no lost increment,
// and no entry left in the wait-for graph.
TEST(oxMemMutexTest, PairsTakenInOneOrderUnderContention) {
    constexpr int kLocks = 6;
    std::vector<std::unique_ptr<oxMemMutex>> mutexes;
    long counts[kLocks] = {};
    for (int index = 0; index < kLocks; ++index)
        mutexes.push_back(std::make_unique<oxMemMutex>("pair"));
    std::atomic<int> exceptions{0};
    std::vector<std::thread> threads;
    std::vector<DWORD> ids(4);
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&, thread] {
            ids[thread] = GetCurrentThreadId();
            for (int round = 0; round < 3000; ++round) {
                int first = (round + thread) % (kLocks - 1);
                int second = first + 1 + (round * 7 + thread) % (kLocks - 1 - first);
                try {
                    oxStMutex holdFirst(*mutexes[first]);
                    oxStMutex holdSecond(*mutexes[second]);
                    ++counts[first];
                    ++counts[second];
                } catch (const oxException&) {
                    ++exceptions;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(exceptions, 0);
    long total = 0;
    for (int index = 0; index < kLocks; ++index) {
        total += counts[index];
        EXPECT_FALSE(mutexes[index]->isLocked());
    }
    EXPECT_EQ(total, 4 * 3000 * 2);
    for (DWORD id : ids)
        EXPECT_EQ(getBlockingMutexForTesting(id), nullptr);
}

TEST(oxMemMutexTest, RecursionAndEarlyReleaseKeepTheCount) {
    oxMemMutex mutex("counted");
    {
        oxStMutex outer(mutex);
        oxStMutex inner(mutex);
        EXPECT_EQ(mutex.getNumLocks(), 2u);
        inner.unlock();
        EXPECT_EQ(mutex.getNumLocks(), 1u);
    }
    EXPECT_FALSE(mutex.isLocked());
    EXPECT_EQ(getBlockingMutexForTesting(GetCurrentThreadId()), nullptr);
}

TEST(oxMemMutexTest, StaticLockRefusesAfterShutDown) {
    // In static storage like every lock of its kind: what it never frees
    // stays reachable there.
    static oxStaticObject<oxMemMutex> holder("late");
    holder->shutDown();
    oxLogCapture capture(6);
    oxStMutex late(holder.get());
    EXPECT_FALSE(late.isLocked());
    holder->unlock();
    EXPECT_EQ(countOccurrences(capture.finish(), offendingCommand("false")), 2);
}

// Rings longer than a search keeps on the stack are refused all the same.
TEST(oxMemMutexTest, LongRingsAreRefusedToTheOneClosingThem) {
    for (int length : {16, 17, 40}) {
        std::vector<std::unique_ptr<oxMemMutex>> mutexes;
        for (int index = 0; index < length; ++index)
            mutexes.push_back(std::make_unique<oxMemMutex>("ring"));
        DWORD self = GetCurrentThreadId();
        // Declared before the hold, so that on any way out the hold goes
        // first and the waiters can finish.
        std::vector<std::unique_ptr<Waiter>> waiters;
        oxStMutex holdFirst(*mutexes[0]);
        // Each holds its own mutex and waits for the one before.
        for (int index = 1; index < length; ++index) {
            waiters.push_back(std::make_unique<Waiter>(*mutexes[index], *mutexes[index - 1]));
            ASSERT_TRUE(waitUntilBlocked(waiters.back()->itsID, *mutexes[index - 1])) << length;
        }
        std::string last = "->[" + named(*mutexes[0]) + "]-" + id(self) + ".";
        try {
            oxStMutex hold(*mutexes[length - 1]);
            ADD_FAILURE() << "no deadlock detected in a ring of " << length;
        } catch (const oxException& caught) {
            std::string what = caught.what();
            EXPECT_EQ(what.rfind("Detected deadlock. " + id(self) + "->[" + named(*mutexes[length - 1]) +
                                     "]-" + id(waiters.back()->itsID) + "->[",
                                 0),
                      0u)
                << what;
            EXPECT_EQ(what.substr(what.size() - std::min(what.size(), last.size())), last) << what;
        }
        EXPECT_EQ(getBlockingMutexForTesting(self), nullptr);
    }
}

// A thread's entry outlives its wait, so that its next wait allocates
// nothing; the entries of threads that wait for nothing are cleared
// beyond a bound, so threads that come and go do not grow the graph.
TEST(oxMemMutexTest, WaitForEntriesStayBoundedAsThreadsComeAndGo) {
    oxMemMutex mutex("busy");
    for (int round = 0; round < 150; ++round) {
        oxStMutex hold(mutex);
        std::atomic<DWORD> waiterID{0};
        std::thread waiter([&] {
            waiterID = GetCurrentThreadId();
            oxStMutex wait(mutex);
        });
        while (waiterID == 0)
            std::this_thread::yield();
        bool blocked = waitUntilBlocked(waiterID, mutex);
        hold.unlock();
        waiter.join();
        ASSERT_TRUE(blocked) << round;
        EXPECT_EQ(getBlockingMutexForTesting(waiterID), nullptr);
    }
    EXPECT_GE(countWaitForEntriesForTesting(), 1u);
    EXPECT_LE(countWaitForEntriesForTesting(), 64u);
}
