// A moment on the system's millisecond tick counter.
// Not safe for concurrent use of one object (a plain value); takes no lock.
#ifndef OX_TIMER_H
#define OX_TIMER_H

#include <atomic>
#include <cstdint>

#include "oxWin32.h"

class oxTimer {
public:
    // Starts at once only when inStart is 1.
    explicit oxTimer(int32_t inStart = 0);
    virtual ~oxTimer();

    // Takes the tick count and a new serial number; may be called again.
    void start();

    // GetTickCount modulo 2^32 - 1.
    static DWORD currentTicks();
    static DWORD reduceTicks(DWORD inTicks);

    int32_t getSerial() const { return itsSerial; }
    DWORD getStartTicks() const { return itsStartTicks; }

private:
    int32_t itsSerial;
    DWORD itsStartTicks;

    // Atomic so timers may be started on several threads at once.
    static std::atomic<int32_t> itsNextSerial;
};

#endif
