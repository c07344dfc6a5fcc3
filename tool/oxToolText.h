// The tool's texts for people: its lines on the standard streams, and
// values made safe to show there.
#ifndef OX_TOOL_TEXT_H
#define OX_TOOL_TEXT_H

#include <string>

#include "oxConsole.h"

// Ends every refusal: a refused run writes nothing.
constexpr char theNotChanged[] = " Preferences file not changed.";

// inText as it is, flushed: the caller gives the line end.
void writeError(const std::string& inText);
void writeOutputLine(const std::string& inLine);
// inText as it is, flushed.
void writeOutput(const std::string& inText);

// The beginning of an overlong answer, enough to recognise it; bytes other
// than printable ASCII shown as '?', so that it cannot drive the terminal.
std::string cutPiece(const std::string& inAnswer);
// A value for a message: bytes other than printable ASCII shown as '?', a
// long one cut.
std::string shownValue(const std::string& inValue);
// A stored value for --show: control bytes shown as '?' so that a value
// cannot drive the terminal; other bytes (UTF-8 names) as they are.
std::string shownSetting(const std::string& inValue);
// The file as --show names it: a relative name joined to the current
// directory; on Windows every separator shown as a backslash.
std::string getFullPath(const std::string& inPath);
// Why an answer (inHidden: a password, never shown) was not taken.
std::string refusalText(oxConsoleAnswer inAnswer, const std::string& inLine, bool inHidden);

#endif
