// Leaves the thread table in a state that the main-thread object reports
// on while it is destroyed at exit, after main has returned: the report
// only appears if the info log is still alive at that moment.
#include <cstdio>

#include "oxInfoLog.h"
#include "oxMainThread.h"
#include "oxThread.h"

namespace {
class oxStandInThread : public oxThread {
public:
    oxStandInThread() : oxThread(nullptr) { itsThreadState = running; }
    void run() override {}
};

// Reachable to the end, so a leak checker does not count it.
oxThread* volatile theStandIn = nullptr;
}  // namespace

int main() {
    oxThread::initMainThread();
    oxInfoLog::itsLogLevel = 6;
    // Taken over by another object: the main thread's own unregistering at
    // exit then fails its check and says so. Never freed: it must outlive
    // the main-thread object.
    theStandIn = new oxStandInThread();
    oxThread::registerThread(oxThread::getCurrentThreadID(), theStandIn);
    fputs("main returns\n", stderr);
    fflush(stderr);
    return 0;
}
