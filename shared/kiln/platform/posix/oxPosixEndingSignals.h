// Work that must be done before a signal ends the process in the middle of
// a write: a temporary file to remove, a file's old contents to put back.
// For this folder's file modules only.
#ifndef OX_POSIX_ENDING_SIGNALS_H
#define OX_POSIX_ENDING_SIGNALS_H

#include <signal.h>

// Runs inside a signal handler: async-signal-safe calls only.
typedef void (*oxEndingCleanup)(void* inData);

// While the guard lives, a signal whose default action ends the process
// (HUP, INT, QUIT, PIPE, ALRM, TERM, USR1, USR2, XCPU, VTALRM, PROF, IO,
// PWR, STKFLT and the real-time signals) first runs inCleanup with inData,
// on the thread that made the guard (the signal is handed on to it when
// another thread took it), and then takes its default action. The crash
// signals (SEGV, BUS, FPE, ILL, ABRT, TRAP, SYS) belong to the exception
// filter and are left alone, as is a signal that is ignored or has another
// handler when the first guard comes. The handlers stay once installed;
// without a guard they only take the default action. At most 16 guards at
// once; beyond that a guard registers nothing. Safe from any thread.
class oxEndingSignalGuard {
public:
    oxEndingSignalGuard(oxEndingCleanup inCleanup, void* inData);
    ~oxEndingSignalGuard();
    oxEndingSignalGuard(const oxEndingSignalGuard&) = delete;
    oxEndingSignalGuard& operator=(const oxEndingSignalGuard&) = delete;

private:
    int itsSlot;
};

// The same for a span begun and ended by two calls (a terminal mode), which
// no guard object can hold: a slot, or -1 when none was free. Removing is
// async-signal-safe; removing -1 does nothing.
int addEndingCleanup(oxEndingCleanup inCleanup, void* inData);
void removeEndingCleanup(int inSlot);

// While one lives, the ending signals above are blocked in the calling
// thread: a file made in the meantime is known to its guard before any of
// them can run it. Pending ones arrive when it goes.
class oxEndingSignalsBlocked {
public:
    oxEndingSignalsBlocked();
    ~oxEndingSignalsBlocked();
    oxEndingSignalsBlocked(const oxEndingSignalsBlocked&) = delete;
    oxEndingSignalsBlocked& operator=(const oxEndingSignalsBlocked&) = delete;

private:
    sigset_t itsPrevious;
};

// While one lives, SIGXFSZ is ignored (where its action is the default),
// so that a write beyond the file-size limit fails with EFBIG and is
// undone like any failed write, instead of ending the process halfway.
// Counted across threads; the last one gives the default back.
class oxFileSizeSignalIgnored {
public:
    oxFileSizeSignalIgnored();
    ~oxFileSizeSignalIgnored();
    oxFileSizeSignalIgnored(const oxFileSizeSignalIgnored&) = delete;
    oxFileSizeSignalIgnored& operator=(const oxFileSizeSignalIgnored&) = delete;
};

#endif
