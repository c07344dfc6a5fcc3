// Output for the crash report, which is written from inside a crash: a
// crash signal's handler on POSIX, the unhandled-exception filter on
// Windows. What runs inside allocates nothing, takes no lock and uses no
// stdio stream, so a crash inside the allocator or while another thread
// holds a lock still ends with its report. What needs more is prepared
// beforehand, outside the crash. One implementation per platform in this
// folder.
// The preparing calls are made under the info log's lock; the calls made
// inside a crash take no lock at all.
#ifndef OX_CRASH_OUTPUT_H
#define OX_CRASH_OUTPUT_H

#include <cstddef>

// A local date and time of day, as the report's line starts with it.
struct oxCrashTime {
    int itsMonth;  // 1 to 12
    int itsDay;
    int itsHour;
    int itsMinute;
    int itsSecond;
};

// Outside a crash: records what reading the local time inside one needs
// (on POSIX the offset of local time from UTC of this moment, so a crash
// long after a change of daylight-saving time without a call in between
// is an hour off). Safe from any thread.
void prepareCrashTime();
// Inside a crash: the local date and time of day.
void readCrashTime(oxCrashTime& outTime);

// Outside a crash: the file the report is appended to (null or empty:
// none). It is opened now if it exists; otherwise the crash itself creates
// it, as the log's own first line would. Never waits for a reader of a
// FIFO. Called under the log's lock; the crash reads what it set.
void prepareCrashFile(const char* inPath);

// Inside a crash: the text to standard error, or appended to the prepared
// file; a line end is written as the platform's text streams write it.
// Lost quietly when the stream or file cannot take it.
void writeCrashConsole(const char* inText, size_t inLength);
void writeCrashFile(const char* inText, size_t inLength);

#endif
