#include "oxSingleEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "oxException.h"
#include "oxLogCapture.h"

namespace {
class CountingListener : public oxEventListener {
public:
    void eventSignaled(oxEvent& inEvent) override {
        ++itsCalls;
        itsLast = &inEvent;
    }
    int itsCalls = 0;
    oxEvent* itsLast = nullptr;
};
}  // namespace

TEST(oxSingleEventTest, SetStaysUntilResetAndEverySignalCounts) {
    oxSingleEvent event(nullptr, true);
    EXPECT_FALSE(event.isSignaled());
    EXPECT_EQ(event.getSignaledEvent(), nullptr);
    event.set();
    EXPECT_TRUE(event.isSignaled());
    EXPECT_TRUE(event.isSignaled());
    EXPECT_EQ(event.getSignaledEvent(), &event);
    event.set();
    event.reset();
    EXPECT_FALSE(event.isSignaled());
    event.pulse();  // nobody waits: released nobody, left non-signalled
    EXPECT_FALSE(event.isSignaled());
    EXPECT_EQ(event.getSignalCount(), 3);
    event.reset();
    EXPECT_EQ(event.getSignalCount(), 3);
}

TEST(oxSingleEventTest, HandlesAndOwnership) {
    oxSingleEvent event(nullptr, true);
    std::vector<HANDLE> handles{nullptr};
    event.appendHandles(handles);
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_EQ(handles[1], event.getHandle());
    EXPECT_EQ(event.getNumHandles(), 1);

    HANDLE foreign = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    { oxSingleEvent borrowed(foreign, false); }
    EXPECT_NE(SetEvent(foreign), FALSE);  // still open: it stayed the caller's
    CloseHandle(foreign);
}

TEST(oxSingleEventTest, MissingHandleFailsWithResourceError) {
    oxSingleEvent empty(nullptr, false);
    EXPECT_FALSE(empty.isSignaled());
    oxLogCapture capture(6);
    try {
        empty.set();
        ADD_FAILURE() << "set on no handle succeeded";
    } catch (const oxException& caught) {
        EXPECT_EQ(caught.errorMessage.getErrorValue(), oxErr_resFull);
    }
    EXPECT_THROW(empty.reset(), oxException);
    EXPECT_EQ(empty.getSignalCount(), 1);  // raised before the system refused
    EXPECT_EQ(countOccurrences(capture.finish(), " throwing oxErr_resFull\n"), 2);
}

TEST(oxSingleEventTest, SignalPostsTheEventToTheThreadTarget) {
    oxSingleEvent event(nullptr, true);
    std::atomic<DWORD> receiverID{0};
    std::atomic<bool> received{false};
    MSG message{};
    std::thread receiver([&] {
        MSG probe;
        PeekMessageA(&probe, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
        receiverID = GetCurrentThreadId();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                received = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (receiverID == 0)
        std::this_thread::yield();
    event.set();                                                         // no target yet: posts nothing
    event.setWindowTarget(reinterpret_cast<HWND>(0x1), WM_USER + 1, 7);  // no windows here: ignored
    event.setThreadTarget(receiverID, WM_USER + 2, 9);
    event.pulse();
    receiver.join();
    ASSERT_TRUE(received);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(message.wParam, reinterpret_cast<WPARAM>(static_cast<oxEvent*>(&event)));
    EXPECT_EQ(message.lParam, 9);
}

TEST(oxSingleEventTest, ListenersAreToldInOrderFromACopy) {
    oxSingleEvent event(nullptr, true);
    CountingListener first;
    CountingListener second;
    CountingListener stranger;
    event.addListener(&first);
    event.addListener(&second);
    event.addListener(&first);
    event.removeListener(&first);
    event.removeListener(&stranger);  // never registered: nothing happens
    event.notifyListeners();
    EXPECT_EQ(first.itsCalls, 1);
    EXPECT_EQ(second.itsCalls, 1);
    EXPECT_EQ(first.itsLast, &event);
}
