#include "oxSingleEvent.h"

#include <algorithm>

#include "oxException.h"
#include "oxMemMutex.h"
#include "oxStMutex.h"

oxSingleEvent::oxSingleEvent(HANDLE inHandle, bool inCreate)
    : itsSignalCount(0),
      itsHandle(inHandle),
      itsOwnsHandle(inCreate),
      itsWindow(nullptr),
      itsThreadID(0),
      itsMessage(0),
      itsLParam(0) {
    if (inHandle == nullptr && inCreate) {
        itsHandle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (itsHandle == nullptr)
            throwResFull();
    }
}

oxSingleEvent::~oxSingleEvent() {
    if (itsOwnsHandle && itsHandle != nullptr)
        CloseHandle(itsHandle);
    itsHandle = nullptr;
}

bool oxSingleEvent::isSignaled() const {
    return WaitForSingleObject(itsHandle, 0) == WAIT_OBJECT_0;
}

oxEvent* oxSingleEvent::getSignaledEvent() {
    return isSignaled() ? this : nullptr;
}

void oxSingleEvent::set() {
    signal(SetEvent);
}

void oxSingleEvent::pulse() {
    signal(PulseEvent);
}

void oxSingleEvent::signal(BOOL(WINAPI* inSignal)(HANDLE)) {
    oxStMutex lock(itsSharedMutex.get());
    ++itsSignalCount;
    lock.unlock();

    HWND window = itsWindow;
    DWORD threadID = itsThreadID;
    UINT message = itsMessage;
    LPARAM lParam = itsLParam;
    if (!inSignal(itsHandle))
        throwResFull();
    WPARAM self = reinterpret_cast<WPARAM>(static_cast<oxEvent*>(this));
    // Nobody may be listening any more; a failed posting is no failure.
    if (window != nullptr)
        PostMessageA(window, message, self, lParam);
    if (threadID != 0)
        PostThreadMessageA(threadID, message, self, lParam);
}

void oxSingleEvent::reset() {
    oxStMutex lock(itsSharedMutex.get());
    if (!ResetEvent(itsHandle))
        throwResFull();
}

int32_t oxSingleEvent::getSignalCount() const {
    oxStMutex lock(itsSharedMutex.get());
    return itsSignalCount;
}

void oxSingleEvent::appendHandles(std::vector<HANDLE>& ioHandles) const {
    ioHandles.push_back(itsHandle);
}

void oxSingleEvent::setWindowTarget(HWND inWindow, UINT inMessage, LPARAM inLParam) {
    itsWindow = inWindow;
    itsMessage = inMessage;
    itsLParam = inLParam;
}

void oxSingleEvent::setThreadTarget(DWORD inThreadID, UINT inMessage, LPARAM inLParam) {
    itsThreadID = inThreadID;
    itsMessage = inMessage;
    itsLParam = inLParam;
}

void oxSingleEvent::addListener(oxEventListener* inListener) {
    oxStMutex lock(itsSharedMutex.get());
    itsListeners.push_back(inListener);
}

void oxSingleEvent::removeListener(oxEventListener* inListener) {
    oxStMutex lock(itsSharedMutex.get());
    auto found = std::find(itsListeners.begin(), itsListeners.end(), inListener);
    if (found != itsListeners.end())
        itsListeners.erase(found);
}

void oxSingleEvent::notifyListeners() {
    oxStMutex lock(itsSharedMutex.get());
    std::vector<oxEventListener*> listeners = itsListeners;
    lock.unlock();
    for (oxEventListener* listener : listeners)
        listener->eventSignaled(*this);
}
