// The framework's one diagnostic channel: numbered levels, console or
// file output, a once-only flag. All state is process-wide.
// Safe for concurrent use. Lock order: the thread table's lock is taken and
// released before the log's lock; the log's lock is the innermost, taken
// with any other framework lock held (a store's, the deadlock bookkeeping).
#ifndef OX_INFO_LOG_H
#define OX_INFO_LOG_H

#include <atomic>
#include <cstdarg>
#include <optional>
#include <set>
#include <string>

#include "oxMemMutex.h"
#include "oxRawLog.h"
#include "oxStMutex.h"
#include "oxStaticObject.h"

class oxMessage;

class oxInfoLog {
public:
    // Highest level written; the command line sets it directly. Read by
    // every report site on any thread without the lock, hence atomic. The
    // raw layer's level itself: the layers below the log read the same.
    static std::atomic<int>& itsLogLevel;

    // True when the level proper (inLevel & 0x7F) is above itsLogLevel.
    // Every report site asks this first and builds no text when it is true.
    static bool isSuppressed(int inLevel) { return oxRawLog::isSuppressed(inLevel); }

    // One line per report. Looks the calling thread up in the thread table
    // (level 5 and above) before taking the log lock; never throws for its
    // own reasons.
    static void log(int inLevel, const char* inText);
    static void log(int inLevel, const std::string& inText);
    static void log(int inLevel, const oxMessage& inMessage);

    // printf-style report, formatted into a 10240-byte buffer and cut
    // safely at its end. Formats nothing when the level is suppressed.
    static void logFormatted(int inLevel, const char* inFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    static void logFormattedList(int inLevel, const char* inFormat, va_list inArguments);

    // Configuration steps, under the log lock. In file mode the file name
    // is made absolute against the current directory of that moment.
    static void setOutput(const char* inProgramName, int inMode);
    static void setOutputFile(const char* inProgramName, const char* inFileName);

    // The report of a crash at level 0, written from inside the crash (a
    // crash signal's handler, the unhandled-exception filter): formatted
    // into static storage and written with the platform's plain calls,
    // without allocating, without the log's lock, without stdio. Goes to
    // standard error in console and file mode, and in file mode to the log
    // file as well. At level 5 and up the thread part holds the id only:
    // the name would need the thread table's lock. A crash on another
    // thread while one is being reported goes unreported.
    static void logCrash(const char* inText);
    // Prepares what logCrash needs (the program name, the file, the local
    // time's offset) from the current configuration; the configuration
    // steps and every written line do it too. The process calls it when it
    // installs its crash handling.
    static void prepareCrashReport();

    // For tests and the process: read the configuration under the lock.
    static int getOutputMode();
    static std::string getLogFileName();
    static std::string getProgramName();

    // This log as the raw layer's hooks: installed from the start, so the
    // layers below report here.
    static const oxRawLog::oxHooks itsRawLogHooks;

private:
    static void configure(const char* inProgramName, int inMode, const std::string& inFileName);
    static bool rememberOnce(const std::string& inText, const std::string& inThreadPart)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex.get());
    static void writeLine(const std::string& inThreadPart, const char* inText)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex.get());
    static std::string threadPart(bool inMayWait);
    static void lockWithoutWaitingForever(std::optional<oxStMutex>& outLock);
    static void writeConsoleLine(const std::string& inThreadPart, const char* inText)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex.get());
    static void writeFileLine(const std::string& inThreadPart, const char* inText)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex.get());
    static void writeCrashLines(int inMode, const char* inText);

    // Guarded by itsMutex, and never destroyed: a thread may still be
    // inside the lock while the process's objects are torn down.
    // Also read without the lock, by logCrash, hence atomic.
    static std::atomic<int> itsOutputMode;
    static oxNeverDestroyed<std::string> itsProgramName OX_GUARDED_BY(itsMutex.get());
    static oxNeverDestroyed<std::string> itsLogFileName OX_GUARDED_BY(itsMutex.get());
    static oxNeverDestroyed<std::set<std::string>> itsAlreadyLoggedMessages OX_GUARDED_BY(itsMutex.get());
    static oxStaticObject<oxMemMutex> itsMutex;
};

#endif
