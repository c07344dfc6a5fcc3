// Following a file name to the file it finally names, the names of the
// files kept beside it, reading a file whole, and retrying calls that a
// signal interrupted; shared by this folder's file modules only.
#ifndef OX_POSIX_FILE_NAMES_H
#define OX_POSIX_FILE_NAMES_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <string>

enum class oxPosixTarget {
    found,    // outTarget exists; outStatus is its lstat
    missing,  // outTarget is the name to create (a dangling link names it)
    refused   // a loop, an error, or a link the protected-symlinks rule forbids
};

std::string directoryOf(const std::string& inPath);
std::string lastComponentOf(const std::string& inPath);

// Beside the file inTarget names (links already followed): its lock file,
// the journal of a write in place, and a temporary file (inSeed picks its
// letters).
std::string lockPathOf(const std::string& inTarget);
std::string journalPathOf(const std::string& inTarget);
std::string temporaryPathOf(const std::string& inTarget, uint64_t inSeed);
// Creates a new temporary file beside inTarget, for its owner alone (0600),
// under a free name of that form; -1 with errno when none could be made.
int createTemporaryFileBeside(const std::string& inTarget, std::string& outPath);

// Appends the whole contents of the open file, read from its start, to
// ioBytes (whose spare capacity is used first); false on a read error.
bool readWholeFile(int inFile, std::string& ioBytes);
// Writes inLength bytes at inOffset, however many calls it takes; false
// with errno on failure. Async-signal-safe: a signal handler puts old
// contents back with it.
bool writeAllAt(int inFile, const char* inBytes, size_t inLength, off_t inOffset);
// fsync, again when a signal interrupts it.
bool syncFile(int inFile);
// A rename or a removal in inDirectory is on disk only once the directory
// is; a failure costs durability alone, so it is not reported.
void syncDirectory(const std::string& inDirectory);

// Follows inPath through symbolic links. The directories on the way are
// left as written: a rename within them works all the same. A link in a
// sticky, world-writable directory is followed only when its owner owns
// the directory or is the caller, as the kernel's protected-symlinks rule
// has it: elsewhere another user may have planted it to make a privileged
// run write through it.
oxPosixTarget findFinalTarget(const std::string& inPath, std::string& outTarget, struct stat& outStatus);

// Whether the caller may create and remove names in inDirectory.
bool isWritableDirectory(const std::string& inDirectory);

// A call again as long as a signal interrupts it (-1 with EINTR): a
// handled signal must not turn into a failed write.
template <typename Call>
auto retryInterrupted(Call inCall) -> decltype(inCall()) {
    for (;;) {
        const auto result = inCall();
        if (!(result == -1 && errno == EINTR))
            return result;
    }
}

// errno as a reason in plain words, for the messages the store shows.
std::string reasonOf(int inError);

#endif
