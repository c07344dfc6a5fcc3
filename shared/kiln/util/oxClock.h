// The one reading of the system clock that the date, time and date-time
// modules take their parts from. Internal to the framework: not installed.
// Safe from any thread; takes no lock.
#ifndef OX_CLOCK_H
#define OX_CLOCK_H

#include <ctime>

// Reads the clock once and breaks the moment into calendar parts, in UTC
// or in local time. False when the clock cannot be read or converted;
// outParts is then not to be used.
bool readClockParts(bool inUTC, struct tm& outParts);

#endif
