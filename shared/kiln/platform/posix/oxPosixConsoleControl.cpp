// Console control events on POSIX: SIGINT, SIGQUIT and SIGHUP are taken by
// one watcher thread with sigwait, so the registered handlers run as
// ordinary code (they may lock, log and allocate) and never inside a
// signal handler. An event that a handler took also ends the stoppable
// console read in progress, which Windows' console does by itself.
#include "oxPlatformExtras.h"
#include "oxPosixConsoleRead.h"
#include "oxPosixWin32.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <vector>

namespace {

const int kControlSignals[] = {SIGINT, SIGQUIT, SIGHUP};

// Ends a blocked read of standard input. Its default is to be ignored, so
// a wake that lands where our handler is not (a disposition reset by
// someone else, a program started by exec) changes nothing.
const int kWakeSignal = SIGURG;
// A wake that lands just before the reader enters read() ends nothing, so
// it is sent again at this interval while the reader is still inside its
// read, about a second at most.
const long kWakeIntervalNanoseconds = 5 * 1000 * 1000;
const int kMostWakes = 200;

// Guards theReaderInRead, theReadNumber, theReader and theWakeInstalled,
// so that the watcher signals the reading thread only while it is inside
// the read the event came during, and so alive.
pthread_mutex_t theReaderLock = PTHREAD_MUTEX_INITIALIZER;
bool theReaderInRead = false;
// Counts the reads begun: a later read is not ended for an earlier event.
unsigned long theReadNumber = 0;
pthread_t theReader;
// False when another handler has the wake signal: it is then never sent.
bool theWakeInstalled = false;
pthread_once_t theWakeOnce = PTHREAD_ONCE_INIT;
// Set by the watcher for the read it ends; the key reader looks at it on
// EINTR, so an atomic.
std::atomic<bool> theReadEnded{false};

// Guards theHandlers, theWatcherStarted and theWatcher. Statically
// initialised, so registration works before any constructor has run.
pthread_mutex_t theHandlersLock = PTHREAD_MUTEX_INITIALIZER;
// Oldest first. On the heap and never freed: the watcher may still read
// it while static objects are destroyed at exit.
std::vector<PHANDLER_ROUTINE>* theHandlers = nullptr;
bool theWatcherStarted = false;
// Written once, before any signal handler that reads it is installed.
pthread_t theWatcher;

class HandlersLock {
public:
    HandlersLock() { pthread_mutex_lock(&theHandlersLock); }
    ~HandlersLock() { pthread_mutex_unlock(&theHandlersLock); }
    HandlersLock(const HandlersLock&) = delete;
    HandlersLock& operator=(const HandlersLock&) = delete;
};

class ReaderLock {
public:
    ReaderLock() { pthread_mutex_lock(&theReaderLock); }
    ~ReaderLock() { pthread_mutex_unlock(&theReaderLock); }
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;
};

sigset_t wakeSignalSet() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, kWakeSignal);
    return signals;
}

// Does nothing: the EINTR of the read it lands in is all it is for.
void onWake(int) {}

// Leaves somebody else's handler alone.
void installWake() {
    struct sigaction current;
    if (sigaction(kWakeSignal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
        (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN)) {
        return;
    }
    struct sigaction wake {};
    wake.sa_handler = onWake;
    sigemptyset(&wake.sa_mask);
    // No SA_RESTART: the blocked read fails with EINTR instead of going on.
    wake.sa_flags = 0;
    const bool installed = sigaction(kWakeSignal, &wake, nullptr) == 0;
    ReaderLock lock;
    theWakeInstalled = installed;
}

// Called by the watcher once a handler has taken an event. A read begun
// after this looks for the stop request itself before it waits.
void endStoppableReadInProgress() {
    unsigned long readNumber = 0;
    for (int wake = 0; wake < kMostWakes; ++wake) {
        {
            ReaderLock lock;
            if (wake == 0) {
                readNumber = theReadNumber;
            }
            if (!theReaderInRead || !theWakeInstalled || theReadNumber != readNumber) {
                return;
            }
            theReadEnded.store(true);
            pthread_kill(theReader, kWakeSignal);
        }
        const struct timespec interval = {0, kWakeIntervalNanoseconds};
        nanosleep(&interval, nullptr);
    }
}

sigset_t controlSignalSet() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : kControlSignals) {
        sigaddset(&signals, signal);
    }
    return signals;
}

DWORD controlTypeFor(int inSignal) {
    switch (inSignal) {
        case SIGINT:
            return CTRL_C_EVENT;
        case SIGQUIT:
            return CTRL_BREAK_EVENT;
        default:
            return CTRL_CLOSE_EVENT;
    }
}

// Calls the handlers on a copy of the list, so a handler may add or
// remove handlers without deadlocking on the list's lock.
bool dispatchToHandlers(DWORD inControlType) {
    std::vector<PHANDLER_ROUTINE> handlers;
    {
        HandlersLock lock;
        if (theHandlers != nullptr) {
            handlers = *theHandlers;
        }
    }
    for (auto handler = handlers.rbegin(); handler != handlers.rend(); ++handler) {
        if ((*handler)(inControlType)) {
            return true;
        }
    }
    return false;
}

// Nobody took the event: let the signal do what it would have done
// without us, which ends the process.
void applyDefaultAction(int inSignal) {
    struct sigaction previous;
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(inSignal, &defaultAction, &previous);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, inSignal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(inSignal);
    // Only reached if the default action let the process live on.
    pthread_sigmask(SIG_BLOCK, &only, nullptr);
    sigaction(inSignal, &previous, nullptr);
}

void* watchControlSignals(void*) {
    const sigset_t signals = controlSignalSet();
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) {
            continue;
        }
        if (dispatchToHandlers(controlTypeFor(signal))) {
            endStoppableReadInProgress();
        } else {
            applyDefaultAction(signal);
        }
    }
    return nullptr;
}

// Runs only in a thread that was started before the signals were blocked;
// the watcher has them blocked, so they wait there for its sigwait.
void forwardToWatcher(int inSignal) {
    const int savedErrno = errno;
    pthread_kill(theWatcher, inSignal);
    errno = savedErrno;
}

// REQUIRES: theHandlersLock held, the watcher started.
void installForwarders() {
    for (int signal : kControlSignals) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) != 0) {
            continue;
        }
        // Respect an inherited ignore (nohup, background job): the user
        // asked for this process not to be stopped by it.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction forward {};
        forward.sa_handler = forwardToWatcher;
        forward.sa_mask = controlSignalSet();
        forward.sa_flags = SA_RESTART;
        sigaction(signal, &forward, nullptr);
    }
}

// REQUIRES: theHandlersLock held.
bool startWatcher() {
    pthread_t watcher;
    if (pthread_create(&watcher, nullptr, watchControlSignals, nullptr) != 0) {
        return false;
    }
    pthread_detach(watcher);
    theWatcher = watcher;
    theWatcherStarted = true;
    return true;
}

BOOL removeHandler(PHANDLER_ROUTINE inHandler) {
    HandlersLock lock;
    if (theHandlers == nullptr) {
        return FALSE;
    }
    for (auto handler = theHandlers->rbegin(); handler != theHandlers->rend(); ++handler) {
        if (*handler == inHandler) {
            theHandlers->erase(std::next(handler).base());
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE inHandler, BOOL inAdd) {
    if (inHandler == nullptr) {
        return FALSE;
    }
    if (!inAdd) {
        return removeHandler(inHandler);
    }
    // Before the watcher starts, so that it and every later thread
    // inherit the blocked signals.
    const sigset_t signals = controlSignalSet();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    HandlersLock lock;
    if (theHandlers == nullptr) {
        theHandlers = new std::vector<PHANDLER_ROUTINE>;
    }
    theHandlers->push_back(inHandler);
    if (!theWatcherStarted && !startWatcher()) {
        theHandlers->pop_back();
        return FALSE;
    }
    // Again on every registration, in case someone reset a disposition.
    installForwarders();
    return TRUE;
}

void beginStoppableConsoleRead() {
    pthread_once(&theWakeOnce, installWake);
    {
        ReaderLock lock;
        theReadEnded.store(false);
        theReader = pthread_self();
        theReaderInRead = true;
        ++theReadNumber;
    }
    const sigset_t wake = wakeSignalSet();
    pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
}

void endStoppableConsoleRead() {
    // Blocked first: a wake still on its way then waits for the next read
    // to begin and lands before that read, instead of failing some other
    // call of this thread with EINTR.
    const sigset_t wake = wakeSignalSet();
    pthread_sigmask(SIG_BLOCK, &wake, nullptr);
    ReaderLock lock;
    theReaderInRead = false;
}

bool isStoppableConsoleReadEnded() {
    return theReadEnded.load();
}

// The handler ran before the watcher ended any read.
bool waitForConsoleStop(const std::function<bool()>& inStopRequested) {
    return inStopRequested && inStopRequested();
}
