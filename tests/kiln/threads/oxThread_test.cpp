#include "oxThread.h"

#include <gtest/gtest.h>

#include <thread>

#include "../util/oxLogCapture.h"
#include "oxMainThread.h"
#include "oxTimer.h"

namespace {
class oxPlainThread : public oxThread {
public:
    explicit oxPlainThread(oxThread* inParent = nullptr) : oxThread(inParent) {}
    void run() override {}
    using oxThread::itsThreadID;
};
}  // namespace

TEST(ThreadTable, MainThreadIsBoundToTheCallingThread) {
    oxThread::initMainThread();
    oxMainThread& main = oxThread::getMainThread();
    EXPECT_TRUE(main.isRegistered());
    EXPECT_EQ(oxThread::findThread(oxThread::getCurrentThreadID()), &main);
    EXPECT_EQ(main.getThreadState(), oxThread::running);
    DWORD firstID = main.getThreadID();
    oxThread::initMainThread();  // again on the same thread: no change
    EXPECT_EQ(main.getThreadID(), firstID);

    DWORD otherID = 0;
    std::thread other([&otherID] {
        otherID = oxThread::getCurrentThreadID();
        oxThread::initMainThread();
    });
    other.join();
    EXPECT_EQ(main.getThreadID(), otherID);
    EXPECT_EQ(oxThread::findThread(otherID), &main);
    EXPECT_EQ(oxThread::findThread(firstID), &main);  // the earlier entry stays
    oxThread::unregisterThread(otherID, &main);
    oxThread::initMainThread();
    EXPECT_EQ(main.getThreadID(), firstID);
}

TEST(ThreadTable, StoppedThreadsAreNeverEntered) {
    oxPlainThread thread;
    thread.setThreadState(oxThread::stopped);
    oxThread::registerThread(0x7FFFFF01, &thread);
    EXPECT_EQ(oxThread::findThread(0x7FFFFF01), nullptr);
}

TEST(ThreadTable, StoppingRemovesTheEntryAndForeignEntriesAreKept) {
    oxPlainThread first;
    oxPlainThread second;
    first.itsThreadID = 0x7FFFFF02;
    first.setThreadState(oxThread::running);
    oxThread::registerThread(0x7FFFFF02, &first);
    EXPECT_EQ(oxThread::findThread(0x7FFFFF02), &first);

    oxLogCapture capture(6);
    oxThread::unregisterThread(0x7FFFFF02, &second);  // not its entry
    EXPECT_EQ(oxThread::findThread(0x7FFFFF02), &first);
    first.setThreadState(oxThread::stopped);
    EXPECT_EQ(oxThread::findThread(0x7FFFFF02), nullptr);
    first.setThreadState(oxThread::stopped);
    EXPECT_NE(capture.finish().find(offendingCommand("iter->second == thread")), std::string::npos);
}

TEST(ThreadTable, DestroyingARunningThreadIsReported) {
    oxLogCapture capture(6);
    {
        oxPlainThread thread;
        thread.setThreadState(oxThread::running);
    }
    EXPECT_NE(capture.finish().find(
                  offendingCommand("(getThreadState() == starting) || (getThreadState() == stopped)")),
              std::string::npos);
}

TEST(Timer, StartsOnlyWhenAskedAndNumbersItsStarts) {
    oxTimer idle(0);
    oxTimer other(2);
    EXPECT_EQ(idle.getSerial(), 0);
    EXPECT_EQ(other.getStartTicks(), 0u);
    oxTimer first(1);
    oxTimer second(1);
    EXPECT_EQ(second.getSerial(), first.getSerial() + 1);
    first.start();
    EXPECT_EQ(first.getSerial(), second.getSerial() + 1);
}

TEST(Timer, TicksAreReducedModuloTwoToThe32MinusOne) {
    EXPECT_EQ(oxTimer::reduceTicks(0xFFFFFFFFUL), 0u);
    EXPECT_EQ(oxTimer::reduceTicks(0xFFFFFFFEUL), 0xFFFFFFFEUL);
    EXPECT_EQ(oxTimer::reduceTicks(12345), 12345u);
}
