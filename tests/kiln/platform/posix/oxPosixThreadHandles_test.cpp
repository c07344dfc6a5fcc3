// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// What a routine sees and does: it records its id, waits (boundedly) for
// its release and returns itsExitCode.
struct Routine {
    HANDLE itsRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE itsDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> itsSeenId{0};
    std::atomic<bool> itsRan{false};
    DWORD itsExitCode = 0;

    ~Routine() {
        CloseHandle(itsRelease);
        CloseHandle(itsDone);
    }

    static DWORD WINAPI run(LPVOID inRoutine) {
        Routine& routine = *static_cast<Routine*>(inRoutine);
        routine.itsRan = true;
        routine.itsSeenId = GetCurrentThreadId();
        WaitForSingleObject(routine.itsRelease, 5000);
        // Once itsDone is set the test may end and take routine with it.
        const DWORD exitCode = routine.itsExitCode;
        SetEvent(routine.itsDone);
        return exitCode;
    }
};

DWORD exitCodeOf(HANDLE inThread) {
    DWORD exitCode = 0;
    EXPECT_EQ(GetExitCodeThread(inThread, &exitCode), TRUE);
    return exitCode;
}

TEST(oxPosixThreadHandlesTest, ThreadReportsItsIdRunningStateAndExitCode) {
    Routine routine;
    routine.itsExitCode = 42;
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, &Routine::run, &routine, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(threadId, 0u);
    EXPECT_NE(threadId, GetCurrentThreadId());

    EXPECT_EQ(exitCodeOf(thread), STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);

    EXPECT_EQ(SetEvent(routine.itsRelease), TRUE);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(routine.itsSeenId, threadId);
    EXPECT_EQ(exitCodeOf(thread), 42u);
    // An ended thread stays signalled.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(CloseHandle(thread), TRUE);

    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, &threadId), nullptr);
}

TEST(oxPosixThreadHandlesTest, SuspendedThreadWaitsForResumeBeforeItsRoutine) {
    Routine routine;
    routine.itsExitCode = 7;
    SetEvent(routine.itsRelease);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, &Routine::run, &routine, CREATE_SUSPENDED, &threadId);
    ASSERT_NE(thread, nullptr);
    // Its id is known before it runs.
    EXPECT_NE(threadId, 0u);

    EXPECT_EQ(WaitForSingleObject(thread, 150), WAIT_TIMEOUT);
    EXPECT_FALSE(routine.itsRan);
    EXPECT_EQ(exitCodeOf(thread), STILL_ACTIVE);

    EXPECT_EQ(ResumeThread(thread), 1u);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(routine.itsRan);
    EXPECT_EQ(routine.itsSeenId, threadId);
    EXPECT_EQ(exitCodeOf(thread), 7u);
    // Not suspended any more: the count was already 0.
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_EQ(CloseHandle(thread), TRUE);
}

TEST(oxPosixThreadHandlesTest, TerminateAndCloseLeaveTheThreadRunning) {
    Routine routine;
    routine.itsExitCode = 5;
    HANDLE thread = CreateThread(nullptr, 0, &Routine::run, &routine, 0, nullptr);
    ASSERT_NE(thread, nullptr);

    EXPECT_EQ(TerminateThread(thread, 0), FALSE);
    EXPECT_EQ(exitCodeOf(thread), STILL_ACTIVE);

    // Closing detaches: the routine still runs to its end.
    EXPECT_EQ(CloseHandle(thread), TRUE);
    EXPECT_EQ(SetEvent(routine.itsRelease), TRUE);
    EXPECT_EQ(WaitForSingleObject(routine.itsDone, 5000), WAIT_OBJECT_0);
}

TEST(oxPosixThreadHandlesTest, LargeStackSizeIsHonoured) {
    static const size_t kStack = 32u * 1024u * 1024u;
    HANDLE thread = CreateThread(
        nullptr, kStack,
        [](LPVOID) -> DWORD {
            // Touches more than a default 8 MB stack holds.
            volatile char buffer[16u * 1024u * 1024u];
            buffer[0] = 1;
            buffer[sizeof(buffer) - 1] = 2;
            return static_cast<DWORD>(buffer[0] + buffer[sizeof(buffer) - 1]);
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCodeOf(thread), 3u);
    EXPECT_EQ(CloseHandle(thread), TRUE);
}

}  // namespace

#endif
