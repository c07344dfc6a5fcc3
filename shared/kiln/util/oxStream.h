// Path helpers for Windows-style path strings, where "\" and "/" both
// separate, that need the system: the current directory and the program's
// own file name. The text-only ones (splitting, the short source-location
// names given to framework mutexes) come with oxPathNames.h.
// Safe from any thread, without a lock; the current directory is
// process-wide and may be changed by another thread meanwhile.
#ifndef OX_STREAM_H
#define OX_STREAM_H

#include <cstdint>
#include <string>

#include "oxPathNames.h"

// A leading separator, or a drive letter, ":" and a separator.
bool isAbsolutePath(const std::string& inPath);

// The process's current directory; empty when the system cannot tell
// (reported as an assertion with level 6 enabled).
std::string getCurrentDirectory();

// inDir and inName with inSeparator between them, unless inDir ends in a
// separator or inName starts with one; either part alone when the other
// is empty.
std::string joinPathWith(const std::string& inDir, const std::string& inName, char inSeparator);

// joinPathWith using the platform's own separator.
std::string joinPath(const std::string& inDir, const std::string& inName);

// inPath when absolute, else joined to the current directory.
std::string makeAbsolutePath(const std::string& inPath);

// The running program's full path, its directory part and its file-name
// part, read once on first use and cached for the life of the process.
// Empty when the system cannot tell. Safe to call from any thread.
const std::string& getProgramPath();
const std::string& getProgramDirectory();
const std::string& getProgramFileName();

#endif
