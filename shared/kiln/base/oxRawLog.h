// The bottom of the framework's diagnostics: the log level, and reports
// made without allocating and without a lock of this layer's own. The info
// log plugs in from above as a table of hooks; the layers it builds on
// (threads, messages, util) report through here, so the log may take their
// locks without the code including itself in a circle.
// Safe from any thread: the level and the hook table are atomics, set
// before any static constructor runs. A report takes what the installed
// hook takes (the info log's lock); without hooks a report is formatted on
// the stack and written to standard error with one plain call.
#ifndef OX_RAW_LOG_H
#define OX_RAW_LOG_H

#include <atomic>
#include <cstdarg>

enum {
    oxLog_system = 1,   // accepted, writes nothing
    oxLog_console = 2,  // standard error
    oxLog_file = 3      // appended to the log's file
};

// Ask for a text to be written once per process.
const int oxLog_once = 0x80;

class oxRawLog {
public:
    // What the full logger provides. Every entry is set; each is called
    // only for a level that is not suppressed, except the configuration.
    struct oxHooks {
        void (*itsLog)(int inLevel, const char* inText);
        void (*itsLogFormatted)(int inLevel, const char* inFormat, va_list inArguments);
        // From inside a crash: may neither allocate nor lock.
        void (*itsLogCrash)(const char* inText);
        void (*itsSetOutput)(const char* inProgramName, int inMode);
        void (*itsSetOutputFile)(const char* inProgramName, const char* inFileName);
        void (*itsPrepareCrashReport)();
    };

    // Highest level written. The info log's itsLogLevel is this object, so
    // the level read here is always the log's own.
    static std::atomic<int> itsLogLevel;

    // True when the level proper (inLevel & 0x7F) is above itsLogLevel.
    static bool isSuppressed(int inLevel) {
        return (inLevel & 0x7F) > itsLogLevel.load(std::memory_order_relaxed);
    }

    static void log(int inLevel, const char* inText);
    // Formats nothing when the level is suppressed.
    static void logFormatted(int inLevel, const char* inFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    static void logCrash(const char* inText);

    // The log's configuration, for the command line; nothing without hooks.
    static void setOutput(const char* inProgramName, int inMode);
    static void setOutputFile(const char* inProgramName, const char* inFileName);
    static void prepareCrashReport();

    // Puts inHooks (null: none) in place and returns the table it replaces;
    // inHooks must outlive its use. For tests and other loggers.
    static const oxHooks* installHooks(const oxHooks* inHooks);
    static const oxHooks* getHooks();

private:
    static void writeUnhooked(const char* inFormat, va_list inArguments);

    // Constant-initialised to the info log's table, so a report made by a
    // static constructor of any file already reaches the log.
    static std::atomic<const oxHooks*> itsHooks;
};

#endif
