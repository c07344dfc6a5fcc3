// A copy of a file kept beside it before a change: a new file that has the
// old one's contents, times and everything a replacement takes over, named
// only once it is whole and on disk.
#include "oxPlatformFiles.h"
#include "oxPosixEndingSignals.h"
#include "oxPosixFileMetadata.h"
#include "oxPosixFileNames.h"
#include "oxReplacementFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace {

const int kBackupNameAttempts = 100;
const size_t kCopyPieceBytes = 256 * 1024;

// A copy being made, which a signal handler removes.
struct oxPartialCopy {
    std::atomic<const char*> itsPath{nullptr};
};

void removePartialCopy(void* inCopy) {
    if (const char* path = static_cast<oxPartialCopy*>(inCopy)->itsPath.load())
        unlink(path);
}

// Made under a temporary's name, so that a process killed while copying
// leaves only what the next writer's sweep removes.
int createPartialCopy(const std::string& inTarget, std::string& outPath, oxPartialCopy& ioGuarded) {
    // Made and known to the guard in one step.
    oxEndingSignalsBlocked blocked;
    const int file = createTemporaryFileBeside(inTarget, outPath);
    if (file >= 0)
        ioGuarded.itsPath.store(outPath.c_str());
    return file;
}

// Renames without ever replacing a name that is taken: one step where the
// system has it, else a second link and the first removed (a kill between
// the two leaves a temporary of two links, which no sweep takes).
int renameWithoutReplacing(const std::string& inFrom, const std::string& inTo) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    const int renamed = retryInterrupted(
        [&] { return renameat2(AT_FDCWD, inFrom.c_str(), AT_FDCWD, inTo.c_str(), RENAME_NOREPLACE); });
    if (renamed == 0 || (errno != EINVAL && errno != ENOSYS))
        return renamed;
#endif
    if (retryInterrupted([&] { return link(inFrom.c_str(), inTo.c_str()); }) != 0)
        return -1;
    retryInterrupted([&] { return unlink(inFrom.c_str()); });
    return 0;
}

// The whole copy appears under the first free backup name at once.
bool nameCopy(const std::string& inPartial, const std::string& inTarget, const std::string& inStamp,
              std::string& outPath) {
    for (int attempt = 0; attempt < kBackupNameAttempts; ++attempt) {
        outPath = backupNameOf(inTarget, inStamp, attempt);
        if (renameWithoutReplacing(inPartial, outPath) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

bool copyContents(int inFrom, int inTo, std::string& outReason) {
    std::string piece(kCopyPieceBytes, '\0');
    off_t offset = 0;
    for (;;) {
        const ssize_t got = retryInterrupted([&] { return read(inFrom, &piece[0], piece.size()); });
        if (got < 0) {
            outReason = "the file cannot be read: " + reasonOf(errno);
            return false;
        }
        if (got == 0)
            return true;
        if (!writeAllAt(inTo, piece.data(), static_cast<size_t>(got), offset)) {
            outReason = reasonOf(errno);
            return false;
        }
        offset += got;
    }
}

// Everything but the name, onto the new file; its data and times on disk.
bool fillBackup(int inOld, int inNew, const struct stat& inStatus, std::string& outReason) {
    if (copyFileMetadata(inOld, inNew, inStatus, outReason) != oxMetadataCopy::copied) {
        outReason = "it cannot be given the file's owner, group and access (" + outReason + ")";
        return false;
    }
    if (!copyContents(inOld, inNew, outReason))
        return false;
    const struct timespec times[2] = {inStatus.st_atim, inStatus.st_mtim};
    if (futimens(inNew, times) != 0 || !syncFile(inNew)) {
        outReason = reasonOf(errno);
        return false;
    }
    return true;
}

bool copyBeside(int inOld, const std::string& inTarget, const struct stat& inStatus,
                const std::string& inStamp, std::string& outPath, std::string& outReason) {
    oxPartialCopy guarded;
    oxEndingSignalGuard guard(removePartialCopy, &guarded);
    std::string partial;
    const int file = createPartialCopy(inTarget, partial, guarded);
    if (file < 0) {
        outReason = reasonOf(errno);
        return false;
    }
    bool made = fillBackup(inOld, file, inStatus, outReason);
    // Synced before: an error of close changes nothing that is on disk.
    close(file);
    if (made && !nameCopy(partial, inTarget, inStamp, outPath)) {
        outReason = reasonOf(errno);
        made = false;
    }
    // Named now, the copy is no longer the handler's to remove.
    guarded.itsPath.store(nullptr);
    if (!made)
        retryInterrupted([&] { return unlink(partial.c_str()); });
    if (made)
        syncDirectory(directoryOf(inTarget));
    return made;
}

}  // namespace

bool keepBackupCopy(const std::string& inPath, const std::string& inStamp, std::string& outBackupName,
                    std::string& outReason) {
    outBackupName.clear();
    std::string target;
    struct stat status {};
    const oxPosixTarget found =
        inPath.empty() ? oxPosixTarget::refused : findFinalTarget(inPath, target, status);
    if (found == oxPosixTarget::missing)
        return true;
    if (found == oxPosixTarget::refused || !S_ISREG(status.st_mode)) {
        outReason = "no backup can be made: it is not a regular file that can be followed safely";
        return false;
    }
    const int old = retryInterrupted(
        [&] { return open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    struct stat opened {};
    if (old < 0 || fstat(old, &opened) != 0 || opened.st_ino != status.st_ino ||
        opened.st_dev != status.st_dev) {
        outReason = "no backup can be made: " + reasonOf(old < 0 ? errno : ESTALE);
        if (old >= 0)
            close(old);
        return false;
    }
    // Signals that end the process are guarded; the file-size one is
    // ignored for the copy, as for every write of the store.
    oxFileSizeSignalIgnored fileSizeSignal;
    std::string path;
    const bool made = copyBeside(old, target, opened, inStamp, path, outReason);
    close(old);
    if (!made) {
        outReason = "no backup could be made beside it (" + outReason + ")";
        return false;
    }
    outBackupName = path;
    return true;
}
