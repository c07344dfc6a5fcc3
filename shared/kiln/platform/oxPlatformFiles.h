// What the preferences store needs of the platform's files beyond plain
// Win32 calls: versions of a file, reads that never block, creation that
// never replaces, and a lock shared with other processes. One
// implementation per platform in this folder. Every function is safe from
// any thread; none throws.
#ifndef OX_PLATFORM_FILES_H
#define OX_PLATFORM_FILES_H

#include <cstdint>
#include <functional>
#include <string>

// Everything that tells one version of a file from another: which file it
// is (volume and file number, so a file renamed over it is a new version),
// its size, and its last write and change times to the platform's full
// precision. A missing file has itsExists false and zeros elsewhere.
struct oxFileVersion {
    bool itsExists = false;
    uint64_t itsVolume = 0;
    uint64_t itsFileNumber = 0;
    uint64_t itsSize = 0;
    uint64_t itsWriteTime = 0;
    uint64_t itsChangeTime = 0;

    bool operator==(const oxFileVersion& inOther) const {
        return itsExists == inOther.itsExists && itsVolume == inOther.itsVolume &&
               itsFileNumber == inOther.itsFileNumber && itsSize == inOther.itsSize &&
               itsWriteTime == inOther.itsWriteTime && itsChangeTime == inOther.itsChangeTime;
    }
    bool operator!=(const oxFileVersion& inOther) const { return !(*this == inOther); }
};

enum class oxFileAccess {
    ok,       // done
    missing,  // no file of that name
    refused   // there is something, but not a regular file this process may use
};

// The version of the file inPath names now, following symbolic links as
// readFileContents does. missing gives a version with itsExists false.
oxFileAccess getFileVersion(const std::string& inPath, oxFileVersion& outVersion);

// Reads the whole file and the version of exactly what was read. Never
// blocks on opening: a FIFO, a device or a directory is refused. On POSIX a
// symbolic link in a sticky, world-writable directory is followed only when
// its owner is the directory's owner or the caller (the kernel's
// protected-symlinks rule), since another user may have planted it there.
oxFileAccess readFileContents(const std::string& inPath, std::string& outBytes, oxFileVersion& outVersion);

// Creates an empty file only where no file of that name exists (nor a
// link, dangling or not); an existing file is never replaced. ok with the
// new file's version when this call created it; missing is never given.
oxFileAccess createFileIfAbsent(const std::string& inPath, oxFileVersion& outVersion);

// Removes the file when it is still exactly inVersion; false otherwise.
bool removeFileIfUnchanged(const std::string& inPath, const oxFileVersion& inVersion);

// The companion lock file of inPath: "<inPath>.lock" beside it. It is
// created when missing and never removed (removing it would race with a
// writer that has just opened it).
std::string getLockFileName(const std::string& inPath);

// Takes an exclusive advisory lock on the companion lock file, waiting at
// most inMilliseconds. The system releases it when the process dies. Where
// the lock file can be neither created nor opened (a directory the caller
// may not write), the file inPath itself is locked instead, if it exists.
// Returns a token for releaseFileLock, or -1 when the lock was not had.
// Locks taken twice in one process exclude each other too.
intptr_t acquireFileLock(const std::string& inPath, uint32_t inMilliseconds);
void releaseFileLock(intptr_t inToken);

// New contents given piece by piece, so that a large file is never held
// whole a second time: appends the next piece to ioChunk (handed over
// empty) and returns whether more pieces follow.
using oxContentSource = std::function<bool(std::string& ioChunk)>;

// replaceFileContents with the contents from inSource, which is read once
// from start to end (or not at all, when the write fails before it).
bool replaceFileContentsFrom(const std::string& inPath, const oxContentSource& inSource);

// Removes the temporary files that replaceFileContents leaves beside
// inPath when its process dies in the middle. Call only with the lock of
// acquireFileLock held, so that no live writer's file is taken.
void removeStaleTemporaryFiles(const std::string& inPath);

#endif
