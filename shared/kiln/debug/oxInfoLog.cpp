#include "oxInfoLog.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "oxAlloc.h"
#include "oxAssert.h"
#include "oxDate.h"
#include "oxMessage.h"
#include "oxMemMutex.h"
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
}  // namespace

void oxInfoLog::log(int inLevel, const std::string& inText) { log(inLevel, inText.c_str()); }

void oxInfoLog::log(int inLevel, const oxMessage& inMessage) {
    if (isSuppressed(inLevel))
        return;
    log(inLevel, inMessage.getText());
}

void oxInfoLog::log(int inLevel, const char* inText) {
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
    oxAlloc buffer(formattedBufferSize, true);
    char* text = static_cast<char*>(buffer.getData());
    va_list arguments;
    va_start(arguments, inFormat);
    // vsnprintf cuts a longer text at the buffer's end, always terminated.
    int written = vsnprintf(text, formattedBufferSize, inFormat, arguments);
    va_end(arguments);
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
