#include "oxInfoLog.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "oxAlloc.h"
#include "oxCrashOutput.h"
#include "oxDate.h"
#include "oxMemMutex.h"
#include "oxMessage.h"
#include "oxRawAssert.h"
#include "oxStMutex.h"
#include "oxStream.h"
#include "oxStringUtil.h"
#include "oxThread.h"
#include "oxTime.h"

namespace {
const size_t formattedBufferSize = 10240;
const size_t onceWarningSize = 100;
const size_t onceLimit = 1000;
const char* const onceWarningCondition = "itsAlreadyLoggedMessages.size() < 100";

std::string localTimeOfDay() {
    std::string text;
    return oxTime(1).format(text, ":", true, true);
}

std::string localDateWithoutYear() {
    std::string text;
    return oxDate(1).format(text, oxDate_monthName, false, false);
}

// What a crash report needs of the configuration, copied beforehand: the
// crash cannot read the log's strings without its lock. Written while
// theHasCrashProgramName is false.
char theCrashProgramName[256];
std::atomic<bool> theHasCrashProgramName{false};
// Held while a crash report is formatted in the static lines below; a
// second crash meanwhile (another thread's) goes unreported rather than
// wait inside its own crash.
std::atomic_flag theCrashLinesInUse = ATOMIC_FLAG_INIT;

const char* const theMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// One line of a crash report, built in place: no allocation, no stdio.
// Text beyond its capacity is cut.
class oxCrashLine {
public:
    void clear() { itsLength = 0; }
    void add(const char* inText) {
        for (; *inText != '\0' && itsLength < sizeof itsText; ++inText)
            itsText[itsLength++] = *inText;
    }
    void addDecimal(unsigned long inNumber, int inMinimumDigits) {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + inNumber % 10);
            inNumber /= 10;
        } while (inNumber != 0 || count < inMinimumDigits);
        while (count > 0 && itsLength < sizeof itsText)
            itsText[itsLength++] = digits[--count];
    }
    void addTimeOfDay(const oxCrashTime& inTime) {
        addDecimal(static_cast<unsigned long>(inTime.itsHour), 2);
        add(":");
        addDecimal(static_cast<unsigned long>(inTime.itsMinute), 2);
        add(":");
        addDecimal(static_cast<unsigned long>(inTime.itsSecond), 2);
    }
    void addThreadPart(bool inWithThread) {
        if (!inWithThread)
            return;
        add(" [");
        addDecimal(GetCurrentThreadId(), 1);
        add(" ] ");
    }
    const char* getText() const { return itsText; }
    size_t getLength() const { return itsLength; }

private:
    char itsText[2048];
    size_t itsLength = 0;
};

// Static: the crash may have happened on a thread with little stack left.
oxCrashLine theCrashConsoleLine;
oxCrashLine theCrashFileLine;
}  // namespace

void oxInfoLog::log(int inLevel, const std::string& inText) {
    log(inLevel, inText.c_str());
}

void oxInfoLog::log(int inLevel, const oxMessage& inMessage) {
    if (isSuppressed(inLevel))
        return;
    log(inLevel, inMessage.getText());
}

// Not checked by the thread-safety analysis, which cannot follow a lock
// held in an optional; what runs under it (rememberOnce, writeLine) is.
void oxInfoLog::log(int inLevel, const char* inText) OX_NO_THREAD_SAFETY_ANALYSIS {
    if (isSuppressed(inLevel))
        return;
    if (inText == nullptr)
        inText = "";
    // A deadlock report may come from a thread inside a cycle that runs
    // through the thread table or this log: it must not wait for either.
    bool mayWait = !oxMemMutex::isReportingDeadlock();
    // Looked up before the log lock: the log never waits for the thread
    // table while holding its own lock.
    std::string thread = itsLogLevel >= 5 ? threadPart(mayWait) : std::string();

    std::optional<oxStMutex> lock;
    if (mayWait)
        lock.emplace(itsMutex.get());
    else
        lockWithoutWaitingForever(lock);
    if (!lock->isLocked())
        return;
    if ((inLevel & oxLog_once) != 0 && !rememberOnce(inText, thread))
        return;
    writeLine(thread, inText);
}

void oxInfoLog::logFormatted(int inLevel, const char* inFormat, ...) {
    if (isSuppressed(inLevel))
        return;
    va_list arguments;
    va_start(arguments, inFormat);
    logFormattedList(inLevel, inFormat, arguments);
    va_end(arguments);
}

void oxInfoLog::logFormattedList(int inLevel, const char* inFormat, va_list inArguments) {
    if (isSuppressed(inLevel))
        return;
    oxAlloc buffer(formattedBufferSize, true);
    char* text = static_cast<char*>(buffer.getData());
    // vsnprintf cuts a longer text at the buffer's end, always terminated.
    int written = vsnprintf(text, formattedBufferSize, inFormat, inArguments);
    if (written < 0)
        text[0] = '\0';
    log(inLevel, text);
}

void oxInfoLog::setOutput(const char* inProgramName, int inMode) {
    oxStMutex lock(itsMutex.get());
    configure(inProgramName, inMode, *itsLogFileName);
}

void oxInfoLog::setOutputFile(const char* inProgramName, const char* inFileName) {
    configure(inProgramName, oxLog_file, inFileName != nullptr ? inFileName : "");
}

void oxInfoLog::logCrash(const char* inText) {
    int mode = itsOutputMode.load();
    if (isSuppressed(0) || (mode != oxLog_console && mode != oxLog_file))
        return;
    if (theCrashLinesInUse.test_and_set())
        return;
    writeCrashLines(mode, inText);
    theCrashLinesInUse.clear();
}

// REQUIRES: theCrashLinesInUse held.
void oxInfoLog::writeCrashLines(int inMode, const char* inText) {
    bool withThread = itsLogLevel.load(std::memory_order_relaxed) >= 5;
    oxCrashTime now;
    readCrashTime(now);

    theCrashConsoleLine.clear();
    theCrashConsoleLine.addTimeOfDay(now);
    theCrashConsoleLine.addThreadPart(withThread);
    theCrashConsoleLine.add(" ");
    theCrashConsoleLine.add(inText);
    theCrashConsoleLine.add("\n");
    writeCrashConsole(theCrashConsoleLine.getText(), theCrashConsoleLine.getLength());
    if (inMode != oxLog_file)
        return;

    theCrashFileLine.clear();
    if (now.itsMonth >= 1 && now.itsMonth <= 12)
        theCrashFileLine.add(theMonthNames[now.itsMonth - 1]);
    theCrashFileLine.add(" ");
    theCrashFileLine.addDecimal(static_cast<unsigned long>(now.itsDay), 1);
    theCrashFileLine.add(" ");
    theCrashFileLine.addTimeOfDay(now);
    theCrashFileLine.add(" ");
    if (theHasCrashProgramName.load() && theCrashProgramName[0] != '\0') {
        theCrashFileLine.add(theCrashProgramName);
        theCrashFileLine.add(": ");
    }
    theCrashFileLine.addThreadPart(withThread);
    theCrashFileLine.add(inText);
    theCrashFileLine.add("\n");
    writeCrashFile(theCrashFileLine.getText(), theCrashFileLine.getLength());
}

void oxInfoLog::prepareCrashReport() {
    oxStMutex lock(itsMutex.get());
    if (!lock.isLocked())
        return;
    prepareCrashTime();
    theHasCrashProgramName.store(false);
    snprintf(theCrashProgramName, sizeof theCrashProgramName, "%s", itsProgramName->c_str());
    theHasCrashProgramName.store(true);
    prepareCrashFile(itsOutputMode == oxLog_file ? itsLogFileName->c_str() : nullptr);
}

int oxInfoLog::getOutputMode() {
    oxStMutex lock(itsMutex.get());
    return itsOutputMode;
}

std::string oxInfoLog::getLogFileName() {
    oxStMutex lock(itsMutex.get());
    return *itsLogFileName;
}

std::string oxInfoLog::getProgramName() {
    oxStMutex lock(itsMutex.get());
    return *itsProgramName;
}

void oxInfoLog::configure(const char* inProgramName, int inMode, const std::string& inFileName) {
    oxStMutex lock(itsMutex.get());
    if (!lock.isLocked())
        return;
    itsOutputMode = inMode;
    *itsProgramName = inProgramName != nullptr ? inProgramName : "";
    if (inMode == oxLog_file)
        *itsLogFileName = makeAbsolutePath(inFileName);
    prepareCrashReport();
}

// REQUIRES: itsMutex held. False when the text was written once before.
bool oxInfoLog::rememberOnce(const std::string& inText, const std::string& inThreadPart) {
    if (!itsAlreadyLoggedMessages->insert(inText).second)
        return false;
    // Reported, not refused. Written here with the thread part already
    // known rather than through oxAssert, whose report would look the
    // thread up again while this lock is held.
    if (!isSuppressed(6) && itsAlreadyLoggedMessages->size() >= onceWarningSize) {
        char report[512];
        snprintf(report, sizeof report, oxAssertionFormat, __FILE__, static_cast<long>(__LINE__),
                 onceWarningCondition);
        writeLine(inThreadPart, report);
    }
    if (itsAlreadyLoggedMessages->size() > onceLimit)
        itsAlreadyLoggedMessages->clear();
    return true;
}

// REQUIRES: itsMutex held.
void oxInfoLog::writeLine(const std::string& inThreadPart, const char* inText) {
    // Keeps the crash report's local time right across a change of
    // daylight-saving time.
    prepareCrashTime();
    if (itsOutputMode == oxLog_console)
        writeConsoleLine(inThreadPart, inText);
    else if (itsOutputMode == oxLog_file)
        writeFileLine(inThreadPart, inText);
}

// A thread reporting a deadlock may be in a cycle with the holder of this
// lock: it only tries, for a short while, and drops its line if the lock
// stays taken (the deadlock exception still carries the text).
void oxInfoLog::lockWithoutWaitingForever(std::optional<oxStMutex>& outLock) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        outLock.emplace(itsMutex.get(), oxTryOnly_noWait);
        if (outLock->isLocked())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string oxInfoLog::threadPart(bool inMayWait) {
    DWORD id = oxThread::getCurrentThreadID();
    std::string name;
    if (inMayWait) {
        oxThread* thread = oxThread::findThread(id);
        if (thread != nullptr)
            name = thread->getName();
    } else {
        oxThread::tryGetThreadName(id, name);
    }
    return " [" + toDecimalString(id) + " " + name + "] ";
}

void oxInfoLog::writeConsoleLine(const std::string& inThreadPart, const char* inText) {
    std::string line = localTimeOfDay() + inThreadPart + " " + inText + "\n";
    fputs(line.c_str(), stderr);
    fflush(stderr);
}

void oxInfoLog::writeFileLine(const std::string& inThreadPart, const char* inText) {
    FILE* file = fopen(itsLogFileName->c_str(), "a");
    if (file == nullptr)
        return;
    std::string line = localDateWithoutYear() + " " + localTimeOfDay() + " ";
    if (!itsProgramName->empty())
        line += *itsProgramName + ": ";
    line += inThreadPart + inText + "\n";
    fputs(line.c_str(), file);
    fclose(file);
}
