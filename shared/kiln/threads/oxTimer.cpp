#include "oxTimer.h"

std::atomic<int32_t> oxTimer::itsNextSerial{0};

oxTimer::oxTimer(int32_t inStart) : itsSerial(0), itsStartTicks(0) {
    if (inStart == 1)
        start();
}

oxTimer::~oxTimer() = default;

void oxTimer::start() {
    itsStartTicks = GetTickCount();
    itsSerial = itsNextSerial.fetch_add(1);
}

DWORD oxTimer::currentTicks() {
    return reduceTicks(GetTickCount());
}

DWORD oxTimer::reduceTicks(DWORD inTicks) {
    return inTicks % 4294967295UL;
}
