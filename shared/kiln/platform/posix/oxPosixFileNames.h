// Following a file name to the file it finally names, and reading a file
// whole, shared by this folder's file modules only.
#ifndef OX_POSIX_FILE_NAMES_H
#define OX_POSIX_FILE_NAMES_H

#include <sys/stat.h>

#include <string>

enum class oxPosixTarget {
    found,    // outTarget exists; outStatus is its lstat
    missing,  // outTarget is the name to create (a dangling link names it)
    refused   // a loop, an error, or a link the protected-symlinks rule forbids
};

std::string directoryOf(const std::string& inPath);
std::string lastComponentOf(const std::string& inPath);
// Where the temporary files that replace inTarget are made: the directory
// and ".<name>." before a suffix of six letters and digits. The name is cut
// so that a long one plus the suffix stays within one component's limit.
std::string temporaryPrefixOf(const std::string& inTarget);
const int kTemporarySuffixLength = 6;

// Follows inPath through symbolic links. The directories on the way are
// left as written: a rename within them works all the same. A link in a
// sticky, world-writable directory is followed only when its owner owns
// the directory or is the caller, as the kernel's protected-symlinks rule
// has it: elsewhere another user may have planted it to make a privileged
// run write through it.
// Appends the whole contents of the open file, read from its start, to
// ioBytes (whose spare capacity is used first); false on a read error.
bool readWholeFile(int inFile, std::string& ioBytes);

oxPosixTarget findFinalTarget(const std::string& inPath, std::string& outTarget, struct stat& outStatus);

#endif
