// Path names as text, for Windows-style path strings where "\" and "/"
// both separate: splitting a path, and the short source-location names
// given to framework mutexes. No system call, so the lowest layers (the
// threads' mutexes) may use them.
// Safe from any thread: pure functions.
#ifndef OX_PATH_NAMES_H
#define OX_PATH_NAMES_H

#include <cstdint>
#include <string>

// True for "\" and "/".
bool isPathSeparator(char c);

// Splits at the last separator or ":" that is neither the first nor the
// last character; outDir keeps that character. Without one, outDir is
// empty and outName is the whole path. The outputs may alias inPath.
void splitPath(const std::string& inPath, std::string& outDir, std::string& outName);

// The outName of splitPath.
std::string getFileNamePart(const std::string& inPath);

// "<file-name part of inFile>:<inLine>"; empty when inFile is null.
std::string sourceLocation(const char* inFile, uint32_t inLine);

#endif
