// Console input for the dialogue: one answer per call, visible or hidden.
#ifndef OX_CONSOLE_H
#define OX_CONSOLE_H

#include <string>

// Writes inPrompt to standard output (flushed), then reads one line into
// outLine without its line end. Visible input takes the whole line,
// whatever its length. Hidden input is not echoed: from a terminal it is
// read key by key (backspace edits, Ctrl+C, Ctrl+D, Enter end it, a line
// feed is written at the end); from a pipe or file it is read line by line
// from the same buffered stream as visible input. A CR LF line end counts
// as one line end.
// Returns false when standard input has ended and nothing was read: the
// end of input, not an empty answer.
bool readLine(const std::string& inPrompt, std::string& outLine, bool inHidden);

#endif
