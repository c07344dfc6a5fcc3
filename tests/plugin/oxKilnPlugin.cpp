#include "oxKilnPlugin.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "oxAssert.h"
#include "oxMemMutex.h"
#include "oxMessage.h"
#include "oxStMutex.h"
#include "oxThread.h"

namespace {
// Takes inMutex on the calling thread; the deadlock bookkeeping it passes
// through keeps per-thread state.
bool lockOnce(oxMemMutex& inMutex) {
    oxStMutex lock(inMutex);
    return lock.isLocked();
}

int checkLocks() {
    oxMemMutex mutex("plugin");
    bool lockedHere = lockOnce(mutex);
    bool lockedThere = false;
    std::thread other([&] { lockedThere = lockOnce(mutex); });
    other.join();
    return (lockedHere ? 0 : 1) + (lockedThere ? 0 : 1);
}

std::string readFile(const char* inName) {
    std::ifstream file(inName);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The info log is plugged into the raw layer inside the library too, and
// a failed check reaches its file without stopping.
int checkLog() {
    const char* const logName = "kiln_plugin.log";
    std::remove(logName);
    const int saved = oxInfoLog::itsLogLevel;
    oxInfoLog::setOutputFile("plugin", logName);
    oxInfoLog::itsLogLevel = 6;
    oxAssert(oxThread::getCurrentThreadID() == 0);
    oxInfoLog::itsLogLevel = saved;
    oxInfoLog::setOutput("plugin", oxLog_console);
    std::string text = readFile(logName);
    std::remove(logName);
    return text.find("Offending command: \"oxThread::getCurrentThreadID() == 0\".") != std::string::npos ? 0
                                                                                                         : 1;
}
}  // namespace

extern "C" int oxKilnPluginRun(char* outText, size_t inSize) {
    int failures = checkLocks() + checkLog();
    std::string text = oxMessage("kiln inside a shared library: $a", 'a', "ok").getText();
    snprintf(outText, inSize, "%s", text.c_str());
    return failures;
}
