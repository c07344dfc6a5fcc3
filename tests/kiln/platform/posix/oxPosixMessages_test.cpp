// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// Events a test and the thread it drives hand each other, every wait bounded.
struct Handshake {
    HANDLE itsGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE itsReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE itsPosted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    MSG itsReceived[4] = {};

    ~Handshake() {
        CloseHandle(itsGo);
        CloseHandle(itsReady);
        CloseHandle(itsPosted);
    }
};

// Holds its thread back at exit, after the routine has returned.
struct SlowExit {
    ~SlowExit() { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }
};

// Takes a queue only when told to, then collects what was posted.
DWORD WINAPI collectMessages(LPVOID inHandshake) {
    Handshake& handshake = *static_cast<Handshake*>(inHandshake);
    WaitForSingleObject(handshake.itsGo, 5000);
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
        return 100;
    // Made after the queue, so its clean-up at thread exit comes first:
    // the queue must be gone before that, when the handle is signalled.
    thread_local SlowExit slowExit;
    static_cast<void>(&slowExit);
    SetEvent(handshake.itsReady);
    WaitForSingleObject(handshake.itsPosted, 5000);
    DWORD count = 0;
    while (count < 4 && PeekMessageA(&handshake.itsReceived[count], nullptr, 0, 0, PM_REMOVE))
        ++count;
    return count;
}

DWORD exitCodeOf(HANDLE inThread) {
    DWORD exitCode = 0;
    EXPECT_EQ(GetExitCodeThread(inThread, &exitCode), TRUE);
    return exitCode;
}

TEST(oxPosixMessagesTest, PostingNeedsTheTargetsQueueAndDeliversInOrder) {
    Handshake handshake;
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, collectMessages, &handshake, 0, &threadId);
    ASSERT_NE(thread, nullptr);

    EXPECT_EQ(PostThreadMessageA(threadId, WM_USER, 1, 1), FALSE);
    EXPECT_EQ(PostThreadMessageA(0, WM_USER, 1, 1), FALSE);
    SetEvent(handshake.itsGo);
    ASSERT_EQ(WaitForSingleObject(handshake.itsReady, 5000), WAIT_OBJECT_0);

    const DWORD before = GetTickCount();
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(PostThreadMessageA(threadId, WM_USER + i, 10 * i, -i), TRUE);
    SetEvent(handshake.itsPosted);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    ASSERT_EQ(exitCodeOf(thread), 3u);
    for (int i = 0; i < 3; ++i) {
        const MSG& received = handshake.itsReceived[i];
        EXPECT_EQ(received.hwnd, nullptr);
        EXPECT_EQ(received.message, WM_USER + 1 + i);
        EXPECT_EQ(received.wParam, static_cast<WPARAM>(10 * (i + 1)));
        EXPECT_EQ(received.lParam, static_cast<LPARAM>(-(i + 1)));
        EXPECT_LT(received.time - before, 5000u);
    }
    // The queue went with the thread, before its handle was signalled.
    EXPECT_EQ(PostThreadMessageA(threadId, WM_USER, 1, 1), FALSE);
    EXPECT_EQ(CloseHandle(thread), TRUE);
}

TEST(oxPosixMessagesTest, FiltersPickTheFirstMessageInRange) {
    DWORD threadId = 0;
    std::thread reader([&] {
        threadId = GetCurrentThreadId();
        MSG message{};
        EXPECT_EQ(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
        for (UINT number : {WM_USER + 1, WM_USER + 5, WM_USER + 2, WM_QUIT})
            ASSERT_EQ(PostThreadMessageA(threadId, number, number, 0), TRUE);

        // What each filtered peek finds, 0 for nothing: looking leaves it.
        const auto peek = [&](UINT inFirst, UINT inLast, UINT inRemove) -> UINT {
            return PeekMessageA(&message, nullptr, inFirst, inLast, inRemove) ? message.message : 0;
        };
        EXPECT_EQ(peek(WM_USER + 2, WM_USER + 5, PM_NOREMOVE), WM_USER + 5);
        EXPECT_EQ(peek(WM_USER + 2, WM_USER + 5, PM_REMOVE), WM_USER + 5);
        EXPECT_EQ(peek(WM_USER + 2, WM_USER + 5, PM_REMOVE), WM_USER + 2);
        EXPECT_EQ(peek(WM_USER + 2, WM_USER + 5, PM_REMOVE), 0u);
        EXPECT_EQ(peek(WM_USER + 6, WM_USER + 9, PM_REMOVE), 0u);

        // Queued messages come out of GetMessageA without blocking.
        EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
        EXPECT_EQ(message.message, WM_USER + 1);
        EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), FALSE);
        EXPECT_EQ(message.message, WM_QUIT);
        EXPECT_EQ(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
    });
    reader.join();
    // Its queue ended with the thread.
    EXPECT_EQ(PostThreadMessageA(threadId, WM_USER, 0, 0), FALSE);
}

DWORD WINAPI awaitFifthUserMessage(LPVOID inReady) {
    MSG message{};
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(static_cast<HANDLE>(inReady));
    return GetMessageA(&message, nullptr, WM_USER + 5, WM_USER + 5) == TRUE ? DWORD(message.wParam) : 0;
}

TEST(oxPosixMessagesTest, GetMessageBlocksUntilAMatchingMessageArrives) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, awaitFifthUserMessage, ready, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);

    EXPECT_EQ(PostThreadMessageA(threadId, WM_USER + 1, 1, 0), TRUE);
    EXPECT_EQ(WaitForSingleObject(thread, 150), WAIT_TIMEOUT);
    EXPECT_EQ(PostThreadMessageA(threadId, WM_USER + 5, 99, 0), TRUE);
    // A thread stuck here fails the test; it is left behind, not waited for.
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCodeOf(thread), 99u);
    EXPECT_EQ(CloseHandle(thread), TRUE);
    EXPECT_EQ(CloseHandle(ready), TRUE);
}

TEST(oxPosixMessagesTest, QueueRefusesPostingsBeyondItsLimit) {
    std::thread owner([] {
        const DWORD self = GetCurrentThreadId();
        MSG message{};
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        int accepted = 0;
        while (accepted < 20000 && PostThreadMessageA(self, WM_USER, accepted, 0))
            ++accepted;
        EXPECT_EQ(accepted, 10000);
        ASSERT_EQ(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE), TRUE);
        EXPECT_EQ(message.wParam, 0u);
        EXPECT_EQ(PostThreadMessageA(self, WM_USER, 1, 0), TRUE);
    });
    owner.join();
}

TEST(oxPosixMessagesTest, WindowsAreNotEmulated) {
    int notAWindow = 0;
    MSG message{};
    EXPECT_EQ(PostMessageA(nullptr, WM_USER, 0, 0), FALSE);
    EXPECT_EQ(PostMessageA(&notAWindow, WM_USER, 0, 0), FALSE);
    EXPECT_EQ(PeekMessageA(&message, &notAWindow, 0, 0, PM_REMOVE), FALSE);
    EXPECT_EQ(GetMessageA(&message, &notAWindow, 0, 0), -1);
    EXPECT_EQ(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE), FALSE);
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
}

}  // namespace

#endif
