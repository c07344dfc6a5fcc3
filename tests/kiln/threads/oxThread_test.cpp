#include "oxThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "oxException.h"
#include "oxLogCapture.h"
#include "oxMainThread.h"
#include "oxTimer.h"

namespace {
class oxPlainThread : public oxThread {
public:
    explicit oxPlainThread(oxThread* inParent = nullptr) : oxThread(inParent) {}
    void run() override {}
    using oxThread::itsHandle;
    using oxThread::itsThreadID;
};

// A thread object with a real system thread behind it, which ends itself
// once released.
class oxHandledThread : public oxPlainThread {
public:
    oxHandledThread() {
        setThreadState(suspended);
        DWORD id = 0;
        itsHandle = CreateThread(nullptr, 0, body, this, CREATE_SUSPENDED, &id);
        itsThreadID = id;
    }
    ~oxHandledThread() override {
        itsRelease = true;
        if (itsHandle != nullptr)
            WaitForSingleObject(itsHandle, 10000);
    }
    std::atomic<bool> itsRelease{false};
    std::atomic<bool> itsEndsItself{true};

private:
    static DWORD WINAPI body(void* inSelf) {
        auto* self = static_cast<oxHandledThread*>(inSelf);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!self->itsRelease && !self->isStopRequested() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (self->itsEndsItself)
            self->setThreadState(stopped);
        return 0;
    }
};
}  // namespace

TEST(oxThreadTableTest, MainThreadIsBoundToTheCallingThread) {
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

TEST(oxThreadTableTest, StoppedThreadsAreNeverEntered) {
    oxPlainThread thread;
    thread.setThreadState(oxThread::stopped);
    oxThread::registerThread(0x7FFFFF01, &thread);
    EXPECT_EQ(oxThread::findThread(0x7FFFFF01), nullptr);
}

TEST(oxThreadTableTest, StoppingRemovesTheEntryAndForeignEntriesAreKept) {
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

TEST(oxThreadTableTest, DestroyingARunningThreadIsReported) {
    oxLogCapture capture(6);
    {
        oxPlainThread thread;
        thread.setThreadState(oxThread::running);
    }
    EXPECT_NE(capture.finish().find(
                  offendingCommand("(getThreadState() == starting) || (getThreadState() == stopped)")),
              std::string::npos);
}

TEST(oxTimerTest, StartsOnlyWhenAskedAndNumbersItsStarts) {
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

TEST(oxTimerTest, TicksAreReducedModuloTwoToThe32MinusOne) {
    EXPECT_EQ(oxTimer::reduceTicks(0xFFFFFFFFUL), 0u);
    EXPECT_EQ(oxTimer::reduceTicks(0xFFFFFFFEUL), 0xFFFFFFFEUL);
    EXPECT_EQ(oxTimer::reduceTicks(12345), 12345u);
}

TEST(oxThreadTest, StoppedStateSignalsTheStoppedEventOnce) {
    oxPlainThread thread;
    thread.itsThreadID = 0x7FFFFF03;
    thread.setThreadState(oxThread::running);
    oxThread::registerThread(0x7FFFFF03, &thread);
    EXPECT_FALSE(thread.getStoppedEvent().isSignaled());
    thread.setThreadState(oxThread::stopped);
    EXPECT_TRUE(thread.getStoppedEvent().isSignaled());
    EXPECT_EQ(oxThread::findThread(0x7FFFFF03), nullptr);
    thread.setThreadState(oxThread::stopped);
    EXPECT_EQ(thread.getStoppedEvent().getSignalCount(), 1);
}

TEST(oxThreadTest, StopRequestsOnlyALiveThread) {
    oxPlainThread starting;
    starting.stop(3, false);
    EXPECT_FALSE(starting.isStopRequested());
    EXPECT_EQ(starting.getStopCode(), 0);

    oxMainThread& main = oxThread::getMainThread();
    main.stop(5, true);  // no handle: the wait returns at once
    EXPECT_EQ(main.getStopCode(), 5);
    EXPECT_TRUE(main.isStopRequested());
    main.getStopEvent().reset();
}

TEST(oxThreadTest, StopResumesASuspendedThreadAndWaitsForIt) {
    oxHandledThread thread;
    EXPECT_EQ(thread.getThreadState(), oxThread::suspended);
    thread.stop(9, true);
    EXPECT_EQ(thread.getThreadState(), oxThread::stopped);
    EXPECT_EQ(thread.getWaitingThreadID(), GetCurrentThreadId());
    EXPECT_EQ(thread.getStopCode(), 9);
}

TEST(oxThreadTest, CancellingWaitGivesUpAfterAQuarterSecond) {
    oxHandledThread thread;
    thread.itsEndsItself = false;
    thread.resumeIfSuspended();
    EXPECT_EQ(thread.getThreadState(), oxThread::running);
    auto before = std::chrono::steady_clock::now();
    thread.waitForStop(true);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200));
    EXPECT_EQ(thread.getThreadState(), oxThread::running);  // the state is not changed by it
    thread.itsRelease = true;
    WaitForSingleObject(thread.itsHandle, 10000);
    thread.setThreadState(oxThread::stopped);
}

TEST(oxThreadTest, ChildrenJoinAndLeaveTheirParent) {
    oxPlainThread parent;
    {
        oxPlainThread first(&parent);
        oxPlainThread second(&parent);
        std::list<oxThread*> expected{&first, &second};
        EXPECT_EQ(parent.getChildren(), expected);
        // A thread with a parent enters the main thread in the table.
        EXPECT_TRUE(oxThread::getMainThread().isRegistered());
    }
    EXPECT_TRUE(parent.getChildren().empty());
}

TEST(oxThreadTest, RecordsOneErrorValue) {
    oxPlainThread thread;
    thread.recordException(oxException(oxErr_resFull));
    EXPECT_EQ(thread.getErrorMessage().getErrorValue(), oxErr_resFull);
    oxLogCapture capture(6);
    thread.recordException(oxException(oxErr_resFull));  // the same value again: accepted
    EXPECT_EQ(capture.finish(), "");
    oxLogCapture second(6);
    thread.recordException(std::runtime_error("later"));
    EXPECT_NE(
        second.finish().find("Offending command: \"(itsErrorMessage.getErrorValue() == oxErr_noError) ||"),
        std::string::npos);
    EXPECT_EQ(thread.getErrorMessage().getErrorValue(), oxErr_internal);
}
