// Console control events on POSIX: SIGINT, SIGQUIT and SIGHUP are taken by
// one watcher thread with sigwait, so the registered handlers run as
// ordinary code (they may lock, log and allocate) and never inside a
// signal handler.
#include "oxPosixWin32.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <iterator>
#include <vector>

namespace {

const int kControlSignals[] = {SIGINT, SIGQUIT, SIGHUP};

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
        if (!dispatchToHandlers(controlTypeFor(signal))) {
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
