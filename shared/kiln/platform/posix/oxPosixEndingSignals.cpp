#include "oxPosixEndingSignals.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "oxPosixHandles.h"

namespace {

const int kSlots = 16;
enum : int { kSlotFree = 0, kSlotFilling = 1, kSlotReady = 2, kSlotRun = 3 };

// Read by the handler without locks or allocation.
std::atomic<int> theSlotStates[kSlots];
oxEndingCleanup theCleanups[kSlots];
void* theData[kSlots];
pthread_t theOwners[kSlots];
pthread_once_t theHandlersInstalled = PTHREAD_ONCE_INIT;

pthread_mutex_t theFileSizeLock = PTHREAD_MUTEX_INITIALIZER;
int theFileSizeGuards = 0;
bool theFileSizeSignalChanged = false;

std::vector<int> endingSignals() {
    std::vector<int> signals = {SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE,   SIGALRM, SIGTERM,
                                SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO};
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
    return signals;
}

// The cleanups of the calling thread, then those of other threads (best
// effort: their writer may still be writing), then the default action,
// which follows as soon as this handler returns.
void cleanUpAndEnd(int inSignal) {
    const int savedErrno = errno;
    const pthread_t self = pthread_self();
    bool ownsOne = false;
    int otherOwner = -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (theSlotStates[slot].load() != kSlotReady)
            continue;
        if (pthread_equal(theOwners[slot], self))
            ownsOne = true;
        else if (otherOwner < 0)
            otherOwner = slot;
    }
    if (!ownsOne && otherOwner >= 0) {
        // The writer's own thread puts its file back, between two of its
        // calls, so that no write of its own lands on what was put back.
        pthread_kill(theOwners[otherOwner], inSignal);
        errno = savedErrno;
        return;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int slot = 0; slot < kSlots; ++slot) {
            int ready = kSlotReady;
            const bool mine = pthread_equal(theOwners[slot], self);
            if ((pass == 0) == mine && theSlotStates[slot].compare_exchange_strong(ready, kSlotRun))
                theCleanups[slot](theData[slot]);
        }
    }
    signal(inSignal, SIG_DFL);
    // Blocked while this handler runs; delivered as soon as it returns.
    raise(inSignal);
    errno = savedErrno;
}

sigset_t endingSignalSet() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal : endingSignals())
        sigaddset(&ending, signal);
    return ending;
}

void installHandlers() {
    const sigset_t ending = endingSignalSet();
    for (int signal : endingSignals()) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL)
            continue;
        struct sigaction cleaning {};
        cleaning.sa_handler = cleanUpAndEnd;
        // One cleanup pass at a time, whichever signals come.
        cleaning.sa_mask = ending;
        cleaning.sa_flags = SA_RESTART;
        sigaction(signal, &cleaning, nullptr);
    }
}

}  // namespace

int addEndingCleanup(oxEndingCleanup inCleanup, void* inData) {
    pthread_once(&theHandlersInstalled, installHandlers);
    for (int slot = 0; slot < kSlots; ++slot) {
        int expected = kSlotFree;
        if (theSlotStates[slot].compare_exchange_strong(expected, kSlotFilling)) {
            theCleanups[slot] = inCleanup;
            theData[slot] = inData;
            theOwners[slot] = pthread_self();
            theSlotStates[slot].store(kSlotReady);
            return slot;
        }
    }
    return -1;
}

void removeEndingCleanup(int inSlot) {
    if (inSlot >= 0)
        theSlotStates[inSlot].store(kSlotFree);
}

oxEndingSignalGuard::oxEndingSignalGuard(oxEndingCleanup inCleanup, void* inData)
    : itsSlot(addEndingCleanup(inCleanup, inData)) {}

oxEndingSignalGuard::~oxEndingSignalGuard() {
    removeEndingCleanup(itsSlot);
}

oxEndingSignalsBlocked::oxEndingSignalsBlocked() {
    const sigset_t ending = endingSignalSet();
    pthread_sigmask(SIG_BLOCK, &ending, &itsPrevious);
}

oxEndingSignalsBlocked::~oxEndingSignalsBlocked() {
    pthread_sigmask(SIG_SETMASK, &itsPrevious, nullptr);
}

oxFileSizeSignalIgnored::oxFileSizeSignalIgnored() {
    oxPosixLock lock(theFileSizeLock);
    if (theFileSizeGuards++ > 0)
        return;
    struct sigaction current;
    theFileSizeSignalChanged = sigaction(SIGXFSZ, nullptr, &current) == 0 &&
                               (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL &&
                               signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
}

oxFileSizeSignalIgnored::~oxFileSizeSignalIgnored() {
    oxPosixLock lock(theFileSizeLock);
    if (--theFileSizeGuards == 0 && theFileSizeSignalChanged) {
        signal(SIGXFSZ, SIG_DFL);
        theFileSizeSignalChanged = false;
    }
}
