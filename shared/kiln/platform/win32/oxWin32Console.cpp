// Hidden console input on Windows: _getch switches the console out of
// line mode and echo for each key itself, so there is no mode to hold.
// Stoppable reads need nothing either: the console ends a pending
// ReadConsole at Ctrl+C by itself.
#include "oxPlatformExtras.h"
#include "oxWin32.h"

namespace {

// The console ends the read before the control handler has run on a
// thread of its own: so long it may take to request the stop.
const DWORD kStopWaitMilliseconds = 100;
const DWORD kStopPollMilliseconds = 5;

}  // namespace

// The console gives the arrows, Home, End, Delete and the like as 224 and
// a second code, the function keys as 0 and a second code.
bool isTwoCodeKeyPrefix(int inKey) {
    return inKey == oxKeyCodes::kTwoCodePrefix || inKey == oxKeyCodes::kExtendedKeyPrefix;
}

void beginHiddenConsoleInput() {}

void endHiddenConsoleInput() {}

void beginStoppableConsoleRead() {}

void endStoppableConsoleRead() {}

bool waitForConsoleStop(const std::function<bool()>& inStopRequested) {
    if (!inStopRequested)
        return false;
    for (DWORD waited = 0;; waited += kStopPollMilliseconds) {
        if (inStopRequested())
            return true;
        if (waited >= kStopWaitMilliseconds)
            return false;
        Sleep(kStopPollMilliseconds);
    }
}
