// A signal that one thread sets and others test. Shaped so that one
// object can stand for one or several operating-system event handles.
// Safe for concurrent use (set, pulse and reset from any thread); see
// oxSingleEvent for the lock it takes.
#ifndef OX_EVENT_H
#define OX_EVENT_H

#include <cstdint>
#include <vector>

#include "oxWin32.h"

class oxEvent;

// Told when an event is set or pulsed (nothing in the tool registers one).
class oxEventListener {
public:
    virtual ~oxEventListener();
    virtual void eventSignaled(oxEvent& inEvent) = 0;
};

class oxEvent {
public:
    virtual ~oxEvent();
    // Tests without waiting.
    virtual bool isSignaled() const = 0;
    virtual oxEvent* getSignaledEvent() = 0;
    // Throw oxException(oxErr_resFull) when the system refuses.
    virtual void set() = 0;
    virtual void reset() = 0;
    virtual void pulse() = 0;
    virtual int32_t getNumHandles() const;
    virtual int32_t getSignalCount() const = 0;
    virtual void appendHandles(std::vector<HANDLE>& ioHandles) const = 0;
    virtual void setWindowTarget(HWND inWindow, UINT inMessage, LPARAM inLParam) = 0;
    virtual void setThreadTarget(DWORD inThreadID, UINT inMessage, LPARAM inLParam) = 0;
    virtual void addListener(oxEventListener* inListener) = 0;
    virtual void removeListener(oxEventListener* inListener) = 0;
};

#endif
