// The framework at the edges of a process's life: a thread that still logs
// while main returns and the process-wide objects are torn down, and calls
// made after that teardown, from a static object destroyed last.
//   probe_teardown log-at-exit     a thread logs once-texts until the end
//   probe_teardown late LEVEL      at log level LEVEL, look a thread up and
//                                  take framework locks after the teardown
//   probe_teardown checker         "ThreadSanitizer" when built with it,
//                                  else "none"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "oxInfoLog.h"
#include "oxThread.h"

#if defined(__SANITIZE_THREAD__)
#define OX_PROBE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OX_PROBE_THREAD_SANITIZER 1
#endif
#endif

namespace {
// Made-up ids for stand-in threads: the table holds entries (and so
// allocated nodes) right up to its teardown.
const DWORD theStandInIDs[] = {0x7FFF0001, 0x7FFF0002, 0x7FFF0003};

class oxStandInThread : public oxThread {
public:
    oxStandInThread() : oxThread(nullptr) { itsThreadState = running; }
    void run() override {}
};

void say(const char* inText) {
    fputs(inText, stderr);
    fputs("\n", stderr);
    fflush(stderr);
}

// Built before the framework's own process-wide objects, so destroyed after
// them: its destructor is the last framework user of the process.
class oxLateUser {
public:
    ~oxLateUser() {
        if (!itsIsArmed)
            return;
        oxThread* found = oxThread::findThread(theStandInIDs[0]);
        say(found == nullptr ? "late lookup: none" : "late lookup: found");
        // Takes the log's lock, and at level 5 and up the thread table's.
        oxInfoLog::log(0, "late line");
        say(oxInfoLog::getOutputMode() == oxLog_console ? "late log: done" : "late log: other mode");
    }

    bool itsIsArmed = false;
};

__attribute__((init_priority(101))) oxLateUser theLateUser;

// Logs distinct once-texts, each a new entry of the log's once-set, until
// the process ends under it.
void logForever(std::atomic<bool>* outStarted) {
    for (unsigned long count = 0;; ++count) {
        std::string text = "once-text number " + std::to_string(count % 5000);
        oxInfoLog::log(oxLog_once | 0, text.c_str());
        outStarted->store(true);
    }
}

int logAtExit() {
    // Nothing reaches the console; the once-set is still filled.
    oxInfoLog::setOutput("", oxLog_system);
    static std::atomic<bool> started{false};
    std::thread(logForever, &started).detach();
    while (!started.load())
        std::this_thread::yield();
    return 0;
}

int late(int inLevel) {
    oxThread::initMainThread();
    // Never freed: they must outlive the table.
    for (DWORD id : theStandInIDs)
        oxThread::registerThread(id, new oxStandInThread());
    oxInfoLog::itsLogLevel = inLevel;
    theLateUser.itsIsArmed = true;
    say("main returns");
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "log-at-exit") == 0)
        return logAtExit();
    if (argc >= 3 && strcmp(argv[1], "late") == 0)
        return late(atoi(argv[2]));
    if (argc >= 2 && strcmp(argv[1], "checker") == 0) {
#ifdef OX_PROBE_THREAD_SANITIZER
        fputs("ThreadSanitizer\n", stdout);
#else
        fputs("none\n", stdout);
#endif
        return 0;
    }
    say("usage: probe_teardown log-at-exit | late LEVEL | checker");
    return 2;
}
