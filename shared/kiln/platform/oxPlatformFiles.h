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
// link, dangling or not); an existing file is never replaced. The new file
// may be read and written by its owner alone (0600 on POSIX, whatever the
// umask): it is to hold a password. ok with the new file's version when
// this call created it; missing is never given.
oxFileAccess createFileIfAbsent(const std::string& inPath, oxFileVersion& outVersion);

// Whether a file of that name could be created now (links followed; the
// directory is there and may be written). Creates nothing.
bool canCreateFile(const std::string& inPath);

// Removes the file when it is still exactly inVersion; false otherwise.
bool removeFileIfUnchanged(const std::string& inPath, const oxFileVersion& inVersion);

// The companion lock file of inPath: "<name>.lock" beside the file the
// path finally names (links followed as the writes follow them), so that
// every name of one file takes one lock. It is created when missing (never
// wider than the file: its owner and group, no write for others) and never
// removed (removing it would race with a writer that has just opened it).
std::string getLockFileName(const std::string& inPath);

// Takes an exclusive advisory lock on the companion lock file, waiting at
// most inMilliseconds, and giving up early once inStopRequested (when
// given) says so. The system releases it when the process dies. A
// symbolic link or anything but a plain file at the lock's name is refused,
// never followed. Only where the lock file can neither be created nor
// opened because the directory may not be written is the file itself
// locked instead (a write there goes in place, so the locked file is never
// the one replaced). Returns a token for releaseFileLock, or -1 when the
// lock was not had, with the reason in outReason when given. Locks taken
// twice in one process exclude each other too.
intptr_t acquireFileLock(const std::string& inPath, uint32_t inMilliseconds,
                         const std::function<bool()>& inStopRequested = nullptr,
                         std::string* outReason = nullptr);
void releaseFileLock(intptr_t inToken);

// What a content source gives with each piece.
enum class oxPiece {
    more,      // more pieces follow
    last,      // this was the last one
    cancelled  // stop: the write is to fail, leaving the file as it was
};

// New contents given piece by piece, so that a large file is never held
// whole a second time: appends the next piece to ioChunk (handed over
// empty).
using oxContentSource = std::function<oxPiece(std::string& ioChunk)>;

// A piece that may also borrow: the bytes made for it, then, when
// itsBorrowed is set, bytes that stand elsewhere and are written from
// there without a copy. Those must stay as they are until the next piece
// is asked for.
struct oxContentChunk {
    std::string itsMade;
    const char* itsBorrowed = nullptr;
    size_t itsBorrowedLength = 0;

    void clear() {
        itsMade.clear();
        itsBorrowed = nullptr;
        itsBorrowedLength = 0;
    }
};
using oxChunkSource = std::function<oxPiece(oxContentChunk& ioChunk)>;

// Whether the file inPath names (opened as readFileContents opens it)
// holds exactly the bytes inSource gives, read piece for piece beside
// them, so that a large file is never held whole. A cancelled source
// makes outSame false. refused: the file could not be read to the end.
oxFileAccess compareFileContents(const std::string& inPath, const oxChunkSource& inSource, bool& outSame);

// replaceFileContents with the contents from inSource, which is read once
// from start to end (or not at all, when the write fails before it). On
// failure outReason, when given, says why in plain words; when the file's
// old contents could not be put back after a failed write in place, it
// says so and where they are kept.
bool replaceFileContentsFrom(const std::string& inPath, const oxContentSource& inSource,
                             std::string* outReason = nullptr);
// The same with pieces that may borrow.
bool replaceFileContentsInChunks(const std::string& inPath, const oxChunkSource& inSource,
                                 std::string* outReason = nullptr);

// Keeps a copy of the file inPath names (links followed) beside it, before
// it is changed: "<final name>.<inStamp>~", or "<final name>.<inStamp>-2~"
// and on when that name is taken, never replacing anything. The copy has
// the file's contents and times, and (as a replacement does) its owner and
// group, mode, ACL and extended attributes; it is on disk before this
// returns. A file that cannot be given all of that gets no copy, so no
// backup admits anyone the file does not. True with outBackupName (empty
// when there is no file to keep); false with outReason, and nothing left
// behind. Call with the lock of acquireFileLock held.
bool keepBackupCopy(const std::string& inPath, const std::string& inStamp, std::string& outBackupName,
                    std::string& outReason);

// Removes the temporary files that replaceFileContents leaves beside
// inPath when its process dies in the middle: only files whose names carry
// this file's name hash, as no other program's do. Call only with the lock
// of acquireFileLock held, so that no live writer's file is taken.
void removeStaleTemporaryFiles(const std::string& inPath);

// A write in place keeps the file's old contents in a journal beside it
// until the new ones are on disk. Whether one is there (a cheap look).
bool hasInterruptedWrite(const std::string& inPath);
// Puts back the old contents a writer that died in the middle left in its
// journal, and removes the journal. Call with the lock of acquireFileLock
// held. True when there was nothing to do or it was done; false, with
// outReason, when a journal stays that could not be used (the file may
// then be torn, and outReason says where its old contents are).
bool restoreInterruptedWrite(const std::string& inPath, std::string& outReason);

#endif
