// Console input for the dialogue: one answer per call, visible or hidden.
// Not safe for concurrent use: one dialogue reads standard input at a time;
// takes no lock.
#ifndef OX_CONSOLE_H
#define OX_CONSOLE_H

#include <cstddef>
#include <string>

// The longest answer taken, in bytes: enough for any name or password, and
// a bound on what a runaway input can make the reader hold.
const size_t oxConsole_maxAnswerLength = 64 * 1024;

enum class oxConsoleAnswer {
    answered,     // outLine holds the answer
    ended,        // input ended before an answer, or reading it failed
    tooLong,      // longer than oxConsole_maxAnswerLength; the rest is left unread
    nulByte,      // a line holding a NUL byte; the rest is left unread
    outputFailed  // the prompt could not be written; nothing was read
};

// Writes inPrompt to standard output (flushed), then reads one line into
// outLine without its line end. Visible input takes the whole line. Hidden
// input is not echoed: from a terminal it is read key by key (backspace
// edits, Ctrl+C, Ctrl+D, Enter end it, a line feed is written at the end);
// from a pipe or file it is read line by line from the same buffered
// stream as visible input. A CR LF line end counts as one line end.
// ended: standard input had ended and nothing was read, a read failed, or
// the terminal was lost during hidden input; outLine is then empty (what
// was typed is no answer). On tooLong outLine holds the beginning of the
// answer, on the other refusals whatever was read so far.
oxConsoleAnswer readLine(const std::string& inPrompt, std::string& outLine, bool inHidden);

#endif
