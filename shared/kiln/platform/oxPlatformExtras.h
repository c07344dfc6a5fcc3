// What the framework needs of the platform beyond plain Win32 calls,
// with one implementation per platform in this folder.
#ifndef OX_PLATFORM_EXTRAS_H
#define OX_PLATFORM_EXTRAS_H

#include <functional>
#include <string>

// The running system's version, read once per call.
//   itsIsWindows: the numbers are Windows version numbers and the naming
//   table applies; otherwise itsSystemName names the system (uname) and
//   itsBuild is the rest of its release text.
struct oxPlatformVersion {
    bool itsIsWindows = false;
    unsigned long itsPlatformId = 0;
    unsigned long itsMajor = 0;
    unsigned long itsMinor = 0;
    unsigned long itsBuildNumber = 0;
    int itsProductType = 0;
    bool itsIsServerR2 = false;
    std::string itsSystemName;
    std::string itsBuild;
};

// GetVersionExA with the extended record, then with the basic one (product
// type 0); false when both fail. Elsewhere: uname (false when it fails),
// with the numbers taken from its release text by parseReleaseText.
// outVersion is reset first.
bool readPlatformVersion(oxPlatformVersion& outVersion);

// POSIX builds only. Splits a uname release text: itsMajor and itsMinor
// from its leading "major.minor", itsBuild the rest after "major.minor."
// (or after "major.minor", or after "major" when there is no minor):
// "6.1.0-18-amd64" gives 6, 1 and "0-18-amd64". A number too large for
// itsMajor or itsMinor stops at the largest value. Touches only those
// three fields. False when the text is null or does not start with a
// digit: numbers 0 and itsBuild the whole text (empty for null).
bool parseReleaseText(const char* inRelease, oxPlatformVersion& outVersion);

// Replaces the contents of the file inPath names with inBytes (binary, no
// translation) in one step, so that no reader ever sees a half-written
// file: the bytes go to a new temporary file beside the target, are
// flushed to disk, and the temporary file then takes the target's place.
// A symbolic link stays a link and its final target is replaced (on POSIX
// the missing target of a dangling link is created; Windows fails). An
// existing file keeps what it is to the system: its permission bits, its
// owner and group, and on POSIX its access control list, extended
// attributes and security label; where the new file could not be given
// all of that, or where a rename would split hard links or the directory
// may not be written, the file itself is written in place instead, its old
// contents kept first in a journal beside it (see hasInterruptedWrite) and
// put back when the write fails or a signal ends the process. A missing
// file is created readable and writable by its owner alone. Only a regular
// file (or no file at all) is replaced, and not one the caller could not
// open for writing. On any failure the old file stays exactly as it was,
// no temporary file is left, and the result is false; a write beyond the
// file-size limit is such a failure. A signal whose default ends the
// process leaves no temporary file and no half-written file either. May
// block on disk I/O; safe from any thread, but concurrent calls on one
// file leave one of their contents, unspecified which.
bool replaceFileContents(const std::string& inPath, const std::string& inBytes);

// The platform's own path separator: '\\' on Windows, '/' elsewhere.
char getPlatformPathSeparator();

// Standard input's bytes as they were sent. On Windows the C runtime's
// text mode would drop the CR of every CR LF and end the input at a
// Ctrl+Z, so standard input becomes binary; elsewhere nothing changes.
void setStandardInputBinary();

// True, with the file's permission bits in outMode, when the file inPath
// names (links followed) may be read by its group or by others. False when
// it cannot be examined, and always on Windows, whose files have no such
// bits.
bool isReadableByOthers(const std::string& inPath, unsigned& outMode);

// For a process that is about to hold a password in clear: from now on it
// leaves no core dump and no other process of its user may attach to it
// or read its memory (on Linux: not dumpable, core size limit 0). On
// Windows nothing changes: its crash dumps are the system's setting.
void protectProcessMemory();

// Windows hands main its command line through the ANSI code page, whose
// "best fit" turns a character the page cannot hold into a look-alike
// (a with macron into a, the division slash U+2215 into a backslash):
// such an argument would name another file. False, with the code page in
// outCodePage, when this process's command line
// holds a character that did not reach argv as typed. Always true on
// POSIX, whose arguments are the bytes given.
bool isCommandLineExact(unsigned& outCodePage);

// The codes of _getch that its callers act on, the same on every platform.
namespace oxKeyCodes {
const int kNoKey = -1;               // no key: not a terminal, input ended or was ended, or a failure
const int kTwoCodePrefix = 0;        // a function or cursor key: one more code follows
const int kExtendedKeyPrefix = 224;  // the same for the cursor block, on the Windows console only
const int kCtrlC = 3;
const int kCtrlD = 4;
const int kBackspace = 8;
const int kLineFeed = 10;
const int kCarriageReturn = 13;
const int kEscape = 27;
}  // namespace oxKeyCodes

// True when inKey, read by _getch, is the first of a two-code key on this
// platform's console: kTwoCodePrefix everywhere, and kExtendedKeyPrefix on
// Windows. A POSIX terminal's byte 224 is part of a character (UTF-8), and
// its emulated _getch gives every two-code key with kTwoCodePrefix.
bool isTwoCodeKeyPrefix(int inKey);

// Hidden console input. Between begin and end the terminal on standard
// input stays in single-key mode without echo and without signal keys
// (Ctrl+C arrives as key 3), so keys typed between two _getch calls are
// not echoed either. Nothing happens when standard input is not a terminal
// or the mode is already held. The previous settings come back at end, at
// process exit and when SIGTERM ends the process; a stop signal (SIGTSTP,
// SIGTTIN, SIGTTOU) gives them back while the process is stopped, and the
// hidden mode returns when it continues. On Windows both do nothing:
// _getch sets the console mode on each call.
void beginHiddenConsoleInput();
// Safe to call from a signal handler or the crash filter; does nothing
// when the mode is not held.
void endHiddenConsoleInput();

// Answers that a console control event ends. The thread reading standard
// input marks such a read with begin and end (one reader at a time, not
// nested); when a registered console control handler takes an event while
// the read is in progress, the read is ended, so that the reader can look
// for a stop request instead of waiting for a line that may never come.
// POSIX: the control watcher sends the reading thread SIGURG, whose
// handler does not restart the read, so it fails with EINTR (and _getch
// gives kNoKey), again every 5 ms for up to a second while the thread is
// still inside that read; from the first end on, SIGURG stays blocked in
// that thread outside such reads. Windows: both do nothing, the console
// itself ends a pending read at Ctrl+C.
void beginStoppableConsoleRead();
void endStoppableConsoleRead();

// Holds a stoppable read for one scope, an exception included.
class oxStoppableConsoleRead {
public:
    explicit oxStoppableConsoleRead(bool inHold) : itsHeld(inHold) {
        if (itsHeld)
            beginStoppableConsoleRead();
    }
    ~oxStoppableConsoleRead() {
        if (itsHeld)
            endStoppableConsoleRead();
    }
    oxStoppableConsoleRead(const oxStoppableConsoleRead&) = delete;
    oxStoppableConsoleRead& operator=(const oxStoppableConsoleRead&) = delete;

private:
    bool itsHeld;
};

// After a visible read from a console met the end of input: whether it was
// a console control event that ended it, as inStopRequested tells (false
// when inStopRequested is empty). On Windows the console ends the read at
// Ctrl+C before the handler has run on a thread of its own, so this waits
// up to about 100 ms for the stop request; on POSIX the handler has run
// before any read is ended, so it asks once.
bool waitForConsoleStop(const std::function<bool()>& inStopRequested);

#endif
