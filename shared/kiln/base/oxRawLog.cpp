#include "oxRawLog.h"

#include <cstdio>
#include <cstring>

#include "oxCrashOutput.h"

namespace {
// Enough for an assertion's report; a longer text without hooks is cut.
const size_t unhookedLineSize = 1024;
}  // namespace

void oxRawLog::log(int inLevel, const char* inText) {
    if (isSuppressed(inLevel))
        return;
    if (const oxHooks* hooks = getHooks())
        hooks->itsLog(inLevel, inText);
    else
        logFormatted(inLevel, "%s", inText != nullptr ? inText : "");
}

void oxRawLog::logFormatted(int inLevel, const char* inFormat, ...) {
    if (isSuppressed(inLevel))
        return;
    va_list arguments;
    va_start(arguments, inFormat);
    if (const oxHooks* hooks = getHooks())
        hooks->itsLogFormatted(inLevel, inFormat, arguments);
    else
        writeUnhooked(inFormat, arguments);
    va_end(arguments);
}

void oxRawLog::logCrash(const char* inText) {
    if (const oxHooks* hooks = getHooks()) {
        hooks->itsLogCrash(inText);
    } else if (!isSuppressed(0) && inText != nullptr) {
        writeCrashConsole(inText, strlen(inText));
        writeCrashConsole("\n", 1);
    }
}

void oxRawLog::setOutput(const char* inProgramName, int inMode) {
    if (const oxHooks* hooks = getHooks())
        hooks->itsSetOutput(inProgramName, inMode);
}

void oxRawLog::setOutputFile(const char* inProgramName, const char* inFileName) {
    if (const oxHooks* hooks = getHooks())
        hooks->itsSetOutputFile(inProgramName, inFileName);
}

void oxRawLog::prepareCrashReport() {
    if (const oxHooks* hooks = getHooks())
        hooks->itsPrepareCrashReport();
}

const oxRawLog::oxHooks* oxRawLog::installHooks(const oxHooks* inHooks) {
    return itsHooks.exchange(inHooks, std::memory_order_acq_rel);
}

const oxRawLog::oxHooks* oxRawLog::getHooks() {
    return itsHooks.load(std::memory_order_acquire);
}

// On the stack and with one write: no allocation, no lock, no stdio stream.
void oxRawLog::writeUnhooked(const char* inFormat, va_list inArguments) {
    char line[unhookedLineSize];
    int written = vsnprintf(line, sizeof line - 1, inFormat, inArguments);
    size_t length = written < 0 ? 0 : strlen(line);
    line[length] = '\n';
    writeCrashConsole(line, length + 1);
}
