// Event signals posted to a real window: a message-only window, which
// needs no desktop, on the thread that created it.
#include "oxSingleEvent.h"
#include "oxWin32.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

const char kWindowClass[] = "oxWin32EventsTest";

class MessageWindow {
public:
    MessageWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);  // fails harmlessly when already registered
        itsWindow = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    }
    ~MessageWindow() { destroy(); }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return itsWindow; }
    void destroy() {
        if (itsWindow != nullptr)
            DestroyWindow(itsWindow);
        itsWindow = nullptr;
    }

    // The next posted message for this window, waiting up to a second.
    bool nextMessage(MSG& outMessage) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (std::chrono::steady_clock::now() < deadline) {
            if (PeekMessageA(&outMessage, itsWindow, 0, 0, PM_REMOVE))
                return true;
            Sleep(1);
        }
        return false;
    }

private:
    HWND itsWindow = nullptr;
};

}  // namespace

TEST(oxWin32EventsTest, SignalsPostTheEventToTheWindowTarget) {
    MessageWindow window;
    ASSERT_NE(window.handle(), nullptr) << "CreateWindowExA failed: " << GetLastError();
    oxSingleEvent event(nullptr, true);
    event.setWindowTarget(window.handle(), WM_USER + 5, 42);

    const WPARAM eventAddress = reinterpret_cast<WPARAM>(static_cast<oxEvent*>(&event));
    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            event.set();
        else
            event.pulse();
        MSG message{};
        ASSERT_TRUE(window.nextMessage(message)) << "round " << round;
        EXPECT_EQ(message.hwnd, window.handle());
        EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 5));
        EXPECT_EQ(message.wParam, eventAddress);
        EXPECT_EQ(message.lParam, 42);
    }
    // Resetting posts nothing.
    event.reset();
    MSG stray{};
    EXPECT_FALSE(PeekMessageA(&stray, window.handle(), 0, 0, PM_REMOVE));
}

TEST(oxWin32EventsTest, AVanishedWindowTargetStillLetsTheEventSignal) {
    MessageWindow window;
    ASSERT_NE(window.handle(), nullptr);
    oxSingleEvent event(nullptr, true);
    event.setWindowTarget(window.handle(), WM_USER + 6, 0);
    window.destroy();
    event.set();  // the post fails; the event is set all the same
    EXPECT_EQ(WaitForSingleObject(event.getHandle(), 0), WAIT_OBJECT_0);
}
