// Hidden console input on Windows: _getch switches the console out of
// line mode and echo for each key itself, so there is no mode to hold.
#include "oxWin32.h"

void beginHiddenConsoleInput() {}

void endHiddenConsoleInput() {}
