// An event over exactly one manual-reset system event. Setting or pulsing
// it can also post a window message and a thread message that carry the
// event's address as wParam, so a message loop learns of the signal
// without waiting on the handle.
// Safe for concurrent use: the count and listeners under the one lock all
// events share, which is taken after the thread table's lock and before the
// deadlock bookkeeping lock; the message targets are set before sharing.
#ifndef OX_SINGLE_EVENT_H
#define OX_SINGLE_EVENT_H

#include <vector>

#include "oxEvent.h"
#include "oxMemMutex.h"
#include "oxStaticObject.h"

class oxSingleEvent : public oxEvent {
public:
    // With a null handle and inCreate, creates an unnamed, manual-reset,
    // non-signalled event; throws oxException(oxErr_resFull) if it cannot.
    // With inCreate the destructor closes the handle, also a foreign one.
    oxSingleEvent(HANDLE inHandle, bool inCreate);
    ~oxSingleEvent() override;

    // Takes no lock; safe from any thread.
    bool isSignaled() const override;
    oxEvent* getSignaledEvent() override;
    // Safe from any thread. The count is raised under the shared lock; the
    // system call and the postings run outside it.
    void set() override;
    // Under the shared lock; the count is unchanged.
    void reset() override;
    void pulse() override;
    int32_t getSignalCount() const override;
    void appendHandles(std::vector<HANDLE>& ioHandles) const override;
    // Not locked: set once, before the event is shared.
    void setWindowTarget(HWND inWindow, UINT inMessage, LPARAM inLParam) override;
    void setThreadTarget(DWORD inThreadID, UINT inMessage, LPARAM inLParam) override;
    // Under the shared lock; duplicates allowed.
    void addListener(oxEventListener* inListener) override;
    void removeListener(oxEventListener* inListener) override;
    // Hands this event to a copy of the list, outside the lock.
    virtual void notifyListeners();

    HANDLE getHandle() const { return itsHandle; }

private:
    oxSingleEvent(const oxSingleEvent&) = delete;
    oxSingleEvent& operator=(const oxSingleEvent&) = delete;

    // inSignal: SetEvent or PulseEvent.
    void signal(BOOL(WINAPI* inSignal)(HANDLE));

    int32_t itsSignalCount OX_GUARDED_BY(itsSharedMutex.get());
    HANDLE itsHandle;
    bool itsOwnsHandle;
    HWND itsWindow;
    DWORD itsThreadID;
    UINT itsMessage;
    LPARAM itsLParam;
    std::vector<oxEventListener*> itsListeners OX_GUARDED_BY(itsSharedMutex.get());

    // One lock for all events; constructed with the other process-wide
    // objects, after the deadlock bookkeeping and before the thread table.
    static oxStaticObject<oxMemMutex> itsSharedMutex;
};

#endif
