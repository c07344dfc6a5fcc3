// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

long long millisecondsSince(steady_clock::time_point inStart) {
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - inStart).count();
}

void expectEveryCallFails(HANDLE inHandle) {
    DWORD exitCode = 7;
    EXPECT_EQ(WaitForSingleObject(inHandle, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(inHandle, 50), WAIT_FAILED);
    EXPECT_EQ(SetEvent(inHandle), FALSE);
    EXPECT_EQ(ResetEvent(inHandle), FALSE);
    EXPECT_EQ(PulseEvent(inHandle), FALSE);
    EXPECT_EQ(ResumeThread(inHandle), static_cast<DWORD>(-1));
    EXPECT_EQ(GetExitCodeThread(inHandle, &exitCode), FALSE);
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(CloseHandle(inHandle), FALSE);
}

TEST(oxPosixHandlesTest, NullUnknownAndClosedHandlesFailWithoutCrashing) {
    expectEveryCallFails(nullptr);

    int notAHandle = 0;
    expectEveryCallFails(&notAHandle);

    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(CloseHandle(event), TRUE);
    // A closed handle is as dead as one never made; closing twice fails.
    expectEveryCallFails(event);
}

TEST(oxPosixHandlesTest, CallsForTheOtherKindOfObjectFail) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    DWORD exitCode = 7;
    EXPECT_EQ(GetExitCodeThread(event, &exitCode), FALSE);
    EXPECT_EQ(ResumeThread(event), static_cast<DWORD>(-1));

    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 3; }, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(SetEvent(thread), FALSE);
    EXPECT_EQ(ResetEvent(thread), FALSE);
    EXPECT_EQ(PulseEvent(thread), FALSE);
    // The same wait works on both kinds.
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    EXPECT_EQ(CloseHandle(thread), TRUE);
    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(oxPosixHandlesTest, WaitsTimeOutAfterRoughlyTheTimeGiven) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);

    auto start = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_LT(millisecondsSince(start), 1000);

    start = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 120), WAIT_TIMEOUT);
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 115);
    EXPECT_LT(elapsed, 3000);

    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(oxPosixHandlesTest, ClosingAHandleDuringAWaitLeavesTheWaitIntact) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    DWORD result = 0;
    std::thread waiter([&] { result = WaitForSingleObject(event, 300); });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(CloseHandle(event), TRUE);
    // Nobody can signal it any more: the wait runs out on a live object.
    waiter.join();
    EXPECT_EQ(result, WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
}

}  // namespace

#endif
