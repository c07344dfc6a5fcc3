// Console input for the dialogue: one answer per call, visible or hidden.
// Not safe for concurrent use: one dialogue reads standard input at a time;
// takes no lock.
#ifndef OX_CONSOLE_H
#define OX_CONSOLE_H

#include <cstddef>
#include <functional>
#include <string>

// The longest answer taken, in bytes: enough for any name or password, and
// a bound on what a runaway input can make the reader hold.
const size_t oxConsole_maxAnswerLength = 64 * 1024;

enum class oxConsoleAnswer {
    answered,      // outLine holds the answer
    ended,         // input ended before an answer, or reading it failed
    tooLong,       // longer than oxConsole_maxAnswerLength; the rest is left unread
    nulByte,       // a line holding a NUL byte; the rest is left unread
    outputFailed,  // the prompt could not be written; nothing was read
    interrupted    // a stop was requested, or Ctrl+C typed as a hidden key
};

// Writes inPrompt to standard output (flushed), then reads one line into
// outLine without its line end. Visible input takes the whole line. Hidden
// input is not echoed: from a terminal it is read key by key (backspace
// edits, Ctrl+D and Enter end it, Ctrl+C interrupts it, a line feed is
// written at the end); from a pipe or file it is read line by line from
// the same buffered stream as visible input. A CR LF line end counts as
// one line end.
// ended: standard input had ended and nothing was read, a read failed, or
// the terminal was lost during hidden input; outLine is then empty (what
// was typed is no answer). On tooLong outLine holds the beginning of the
// answer, on the other refusals whatever was read so far.
// inStopRequested, when given, is asked once the read is set up and before
// the first byte is awaited, and again whenever a read is interrupted (a
// console control event that a handler takes ends the read, see
// beginStoppableConsoleRead); when it says stop, the answer is interrupted
// and outLine empty. Other interrupted reads go on. Called on the reading
// thread. Ctrl+C typed at a hidden answer is interrupted with or without it.
// outLine's storage is reserved for the longest answer before the first
// byte is read, so the answer never moves while it grows: a caller holding
// a secret in it can wipe it in place. Bytes of an answer that is not
// given back (ended, interrupted) are overwritten before outLine is
// emptied.
oxConsoleAnswer readLine(const std::string& inPrompt, std::string& outLine, bool inHidden,
                         const std::function<bool()>& inStopRequested = {});

// The key-by-key part of a hidden answer, with inNextKey in place of
// _getch (readLine passes _getch itself), so that any key sequence can be
// tried against this platform's key table. Appends to outLine; a two-code
// key (see isTwoCodeKeyPrefix) adds nothing.
oxConsoleAnswer readHiddenKeys(const std::function<int()>& inNextKey, std::string& outLine,
                               const std::function<bool()>& inStopRequested = {});

#endif
