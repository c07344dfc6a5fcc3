// Single keys from the terminal on standard input, given the way the
// Windows console gives them to _getch, and the terminal mode that hidden
// input holds. Keys are read through stdin's own buffer, so whatever a key
// read fetches ahead is still there for the next line read.
#include "oxPlatformExtras.h"
#include "oxPosixConsoleRead.h"
#include "oxPosixEndingSignals.h"
#include "oxPosixWin32.h"

#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace oxKeyCodes;
// What a terminal's backspace key sends; _getch gives it as kBackspace.
const int kDelete = 127;

// How long the rest of an escape sequence may take to arrive (VTIME,
// tenths of a second). A terminal sends a sequence in one write, so
// silence after an Escape means the Escape key itself.
const cc_t kSequenceWait = 1;
const cc_t kNoWait = 0;

// Read inside signal handlers, so it has to be lock-free.
static_assert(std::atomic<bool>::is_always_lock_free, "terminal flag must be signal-safe");

// True while the terminal is in hidden mode; whoever clears it restores
// theSavedSettings, which is written only while it is false.
std::atomic<bool> theHidden{false};
struct termios theSavedSettings;
// The hidden mode itself, set again when a stopped process continues.
struct termios theHiddenSettings;
// The second code of a two-code key, handed out by the next _getch.
// Hidden input is read by one thread at a time.
int theQueuedCode = kNoKey;
pthread_once_t theRestorersInstalled = PTHREAD_ONCE_INIT;

// The ending-signal cleanup that gives the terminal back while hidden
// mode is held, or -1.
std::atomic<int> theEndingCleanup{-1};

// Async-signal-safe: atomic exchanges and tcsetattr.
void restoreSettings() {
    if (theHidden.exchange(false)) {
        tcsetattr(STDIN_FILENO, TCSANOW, &theSavedSettings);
        removeEndingCleanup(theEndingCleanup.exchange(-1));
    }
}

// A terminal left without echo would outlive the process: any signal that
// ends it (SIGTERM, SIGHUP, ...) gives the settings back first.
void restoreBeforeEnding(void*) {
    restoreSettings();
}

void restoreAtExit() {
    restoreSettings();
}

const int theStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// Job control: while the process is stopped the terminal is the shell's
// again, with its own settings; hidden mode comes back when the process
// continues, as the system's password prompts do it. The stop happens here,
// with the signal's default action, once the signal is unblocked.
void stopWithSettingsRestored(int inSignal) {
    const int savedErrno = errno;
    const bool hidden = theHidden.load();
    if (hidden) {
        tcsetattr(STDIN_FILENO, TCSANOW, &theSavedSettings);
    }
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    struct sigaction caught;
    sigaction(inSignal, &stop, &caught);
    raise(inSignal);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, inSignal);
    // Stops here; returns when the process continues (at once when the
    // system discards the stop, as it does for an orphaned process group).
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    sigaction(inSignal, &caught, nullptr);
    if (hidden && theHidden.load()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &theHiddenSettings);
    }
    errno = savedErrno;
}

// Leaves an ignored signal or somebody else's handler alone.
void catchIfDefault(int inSignal, void (*inHandler)(int), int inFlags) {
    struct sigaction current;
    if (sigaction(inSignal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
        current.sa_handler != SIG_DFL) {
        return;
    }
    struct sigaction handler {};
    handler.sa_handler = inHandler;
    handler.sa_flags = inFlags;
    // No stop inside a handler: one that set the terminal from the
    // background would otherwise stop the process a second time.
    sigemptyset(&handler.sa_mask);
    for (int stopSignal : theStopSignals) {
        sigaddset(&handler.sa_mask, stopSignal);
    }
    sigaction(inSignal, &handler, nullptr);
}

void installRestorers() {
    atexit(restoreAtExit);
    // A key read the stop interrupted goes on when the process continues.
    for (int stopSignal : theStopSignals) {
        catchIfDefault(stopSignal, stopWithSettingsRestored, SA_RESTART);
    }
}

// Retries reads a signal interrupted, except one that a console control
// event ended; that, a hang-up or end of file is kNoKey.
int readByte() {
    for (;;) {
        const int byte = getc(stdin);
        if (byte != EOF) {
            return byte;
        }
        if (!ferror(stdin) || errno != EINTR) {
            return kNoKey;
        }
        clearerr(stdin);
        if (isStoppableConsoleReadEnded()) {
            return kNoKey;
        }
    }
}

// The next byte if it is already buffered or arrives within inWait tenths
// of a second, else kNoKey. REQUIRES: hidden mode held.
int readByteWithin(cc_t inWait) {
    struct termios timed;
    if (tcgetattr(STDIN_FILENO, &timed) != 0) {
        return kNoKey;
    }
    const struct termios blocking = timed;
    timed.c_cc[VMIN] = 0;
    timed.c_cc[VTIME] = inWait;
    tcsetattr(STDIN_FILENO, TCSANOW, &timed);
    const int byte = getc(stdin);
    if (byte == EOF) {
        // A timed-out read looks like end of file to the stream.
        clearerr(stdin);
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &blocking);
    return byte == EOF ? kNoKey : byte;
}

// A byte that turned out not to belong to the key just read goes back to
// the stream for the next reader.
void keepForNextRead(int inByte) {
    if (inByte != kNoKey) {
        ungetc(inByte, stdin);
    }
}

bool isSequenceFinal(int inByte) {
    return inByte >= 0x40 && inByte <= 0x7E;
}

bool isSequenceParameter(int inByte) {
    return inByte >= 0x20 && inByte <= 0x3F;
}

// Called after an Escape byte. "ESC [ parameters final" and "ESC O final"
// (cursor and function keys) become 0 plus the final byte, the Windows
// form of a function key; anything else leaves the Escape a key of its own.
int readEscapeSequence() {
    const int introducer = readByteWithin(kSequenceWait);
    if (introducer != '[' && introducer != 'O') {
        keepForNextRead(introducer);
        return kEscape;
    }
    int code = readByteWithin(kSequenceWait);
    if (introducer == '[') {
        while (isSequenceParameter(code)) {
            code = readByteWithin(kSequenceWait);
        }
    }
    if (!isSequenceFinal(code)) {
        // Cut short: what does not belong to the sequence is a key again.
        keepForNextRead(code);
        code = introducer;
    }
    theQueuedCode = code;
    return kTwoCodePrefix;
}

// REQUIRES: hidden mode held.
int readKey() {
    const int byte = readByte();
    switch (byte) {
        case kDelete:
            return kBackspace;
        case kCarriageReturn: {
            // A text line end CR LF is one key, as Enter is.
            const int next = readByteWithin(kNoWait);
            if (next != kLineFeed) {
                keepForNextRead(next);
            }
            return kCarriageReturn;
        }
        case kEscape:
            return readEscapeSequence();
        default:
            return byte;
    }
}

}  // namespace

int _fileno(FILE* inStream) {
    return fileno(inStream);
}

int _isatty(int inDescriptor) {
    return isatty(inDescriptor) ? 1 : 0;
}

int _getch() {
    if (theQueuedCode != kNoKey) {
        const int code = theQueuedCode;
        theQueuedCode = kNoKey;
        return code;
    }
    if (!isatty(STDIN_FILENO)) {
        return kNoKey;
    }
    // A call outside a held hidden mode sets it for this key only, as the
    // Windows console does on every call.
    const bool forThisKeyOnly = !theHidden.load();
    if (forThisKeyOnly) {
        beginHiddenConsoleInput();
    }
    const int key = theHidden.load() ? readKey() : kNoKey;
    if (forThisKeyOnly) {
        endHiddenConsoleInput();
    }
    return key;
}

bool isTwoCodeKeyPrefix(int inKey) {
    return inKey == kTwoCodePrefix;
}

void beginHiddenConsoleInput() {
    if (theHidden.load() || !isatty(STDIN_FILENO)) {
        return;
    }
    pthread_once(&theRestorersInstalled, installRestorers);
    struct termios hidden;
    if (tcgetattr(STDIN_FILENO, &hidden) != 0) {
        return;
    }
    theSavedSettings = hidden;
    // Signal keys off: Ctrl+C and Ctrl+D reach the key table as 3 and 4.
    // CR stays CR, so that a CR LF can be read as one line end.
    hidden.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    hidden.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    hidden.c_cc[VMIN] = 1;
    hidden.c_cc[VTIME] = 0;
    theHiddenSettings = hidden;
    // Set before the switch, so a signal arriving in between still restores.
    theEndingCleanup.store(addEndingCleanup(restoreBeforeEnding, nullptr));
    theHidden.store(true);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &hidden) != 0) {
        theHidden.store(false);
        removeEndingCleanup(theEndingCleanup.exchange(-1));
    }
}

void endHiddenConsoleInput() {
    restoreSettings();
}
