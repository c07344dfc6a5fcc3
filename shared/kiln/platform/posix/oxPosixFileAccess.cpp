// Versions of a file, reads that never block, creation that never
// replaces, and the lock shared with other processes, on POSIX.
#include "oxContentCompare.h"
#include "oxPlatformFiles.h"
#include "oxPosixFileNames.h"
#include "oxPosixJournal.h"
#include "oxReplacementFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const uint64_t kNanosecondsPerSecond = 1000000000ULL;

uint64_t nanosecondsOf(const timespec& inTime) {
    return static_cast<uint64_t>(inTime.tv_sec) * kNanosecondsPerSecond +
           static_cast<uint64_t>(inTime.tv_nsec);
}

oxFileVersion versionOf(const struct stat& inStatus) {
    oxFileVersion version;
    version.itsExists = true;
    version.itsVolume = static_cast<uint64_t>(inStatus.st_dev);
    version.itsFileNumber = static_cast<uint64_t>(inStatus.st_ino);
    version.itsSize = static_cast<uint64_t>(inStatus.st_size);
    version.itsWriteTime = nanosecondsOf(inStatus.st_mtim);
    version.itsChangeTime = nanosecondsOf(inStatus.st_ctim);
    return version;
}

class oxPosixFile {
public:
    explicit oxPosixFile(int inDescriptor) : itsDescriptor(inDescriptor) {}
    ~oxPosixFile() {
        if (itsDescriptor >= 0) {
            close(itsDescriptor);
        }
    }
    oxPosixFile(const oxPosixFile&) = delete;
    oxPosixFile& operator=(const oxPosixFile&) = delete;
    int get() const { return itsDescriptor; }

private:
    int itsDescriptor;
};

// Opens inPath for reading without ever blocking (O_NONBLOCK keeps a FIFO
// from waiting for a writer) and only when it is a regular file.
oxFileAccess openRegularFile(const std::string& inPath, int inFlags, int& outFile, struct stat& outStatus) {
    std::string target;
    struct stat linkStatus;
    const oxPosixTarget found = findFinalTarget(inPath, target, linkStatus);
    if (found == oxPosixTarget::missing) {
        return oxFileAccess::missing;
    }
    if (found == oxPosixTarget::refused || !S_ISREG(linkStatus.st_mode)) {
        return oxFileAccess::refused;
    }
    outFile = retryInterrupted(
        [&] { return open(target.c_str(), inFlags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY); });
    if (outFile < 0) {
        return errno == ENOENT ? oxFileAccess::missing : oxFileAccess::refused;
    }
    if (retryInterrupted([&] { return fstat(outFile, &outStatus); }) != 0 || !S_ISREG(outStatus.st_mode)) {
        close(outFile);
        outFile = -1;
        return oxFileAccess::refused;
    }
    return oxFileAccess::ok;
}

// A lock file is never wider than the file it guards and never writable
// by others: the file's permission bits without write for others, or the
// owner's alone while there is no file.
mode_t lockModeFor(const struct stat* inFile) {
    return inFile == nullptr ? 0600 : (inFile->st_mode & 0666 & ~static_cast<mode_t>(S_IWOTH));
}

// A lock file this process may change is given the file's owner, group
// and the lock mode: one made by an earlier run for a file since handed to
// another account must serve that account too. Best effort.
void alignLockFile(int inLock, const struct stat* inFile) {
    struct stat lock;
    if (inFile == nullptr || retryInterrupted([&] { return fstat(inLock, &lock); }) != 0 ||
        (lock.st_uid != geteuid() && geteuid() != 0))
        return;
    if (lock.st_uid != inFile->st_uid || lock.st_gid != inFile->st_gid)
        (void)!fchown(inLock, inFile->st_uid, inFile->st_gid);
    if ((lock.st_mode & 07777) != lockModeFor(inFile))
        (void)!fchmod(inLock, lockModeFor(inFile));
}

// The file the lock is taken on: the companion lock file beside inTarget,
// or, only where the directory may not be written and there is no lock
// file, the file itself (written in place then, so never replaced).
int openLockFile(const std::string& inTarget, const struct stat* inFile, std::string& outReason) {
    const std::string name = lockPathOf(inTarget);
    const int flags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int file =
        retryInterrupted([&] { return open(name.c_str(), O_RDWR | O_CREAT | flags, lockModeFor(inFile)); });
    if (file < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // flock needs no write access: a lock file made by another user
        // still serves.
        file = retryInterrupted([&] { return open(name.c_str(), O_RDONLY | flags); });
        if (file < 0 && errno == ENOENT && inFile != nullptr) {
            file = retryInterrupted([&] { return open(inTarget.c_str(), O_RDONLY | flags); });
            return file >= 0 ? file : (outReason = reasonOf(errno), -1);
        }
    }
    if (file < 0) {
        outReason = errno == ELOOP
                        ? "\"" + name + "\" is a symbolic link; the lock file must be a file of its own"
                        : "the lock file \"" + name + "\" cannot be opened: " + reasonOf(errno);
        return -1;
    }
    struct stat lock;
    // Never a FIFO or device (O_NONBLOCK kept the open from waiting), nor
    // the file itself under a second name: the write may replace that.
    if (retryInterrupted([&] { return fstat(file, &lock); }) != 0 || !S_ISREG(lock.st_mode) ||
        (inFile != nullptr && lock.st_dev == inFile->st_dev && lock.st_ino == inFile->st_ino)) {
        close(file);
        outReason = "\"" + name + "\" is not a plain lock file";
        return -1;
    }
    alignLockFile(file, inFile);
    return file;
}

// openRegularFile for reading. Regular files never block; clearing the
// flag keeps reads plain.
oxFileAccess openForReading(const std::string& inPath, int& outFile, struct stat& outStatus) {
    const oxFileAccess opened = openRegularFile(inPath, O_RDONLY, outFile, outStatus);
    if (opened == oxFileAccess::ok)
        fcntl(outFile, F_SETFL, fcntl(outFile, F_GETFL) & ~O_NONBLOCK);
    return opened;
}

// Reads up to inLength bytes at inOffset, fewer only at the end of the
// file; false on a read error.
bool readAtMost(int inFile, char* outBytes, size_t inLength, off_t inOffset, size_t& outCount) {
    outCount = 0;
    while (outCount < inLength) {
        const ssize_t count = retryInterrupted([&] {
            return pread(inFile, outBytes + outCount, inLength - outCount,
                         inOffset + static_cast<off_t>(outCount));
        });
        if (count < 0)
            return false;
        if (count == 0)
            break;
        outCount += static_cast<size_t>(count);
    }
    return true;
}

}  // namespace

oxFileAccess getFileVersion(const std::string& inPath, oxFileVersion& outVersion) {
    std::string target;
    struct stat status;
    const oxPosixTarget found = findFinalTarget(inPath, target, status);
    outVersion = oxFileVersion();
    if (found == oxPosixTarget::missing) {
        return oxFileAccess::missing;
    }
    if (found == oxPosixTarget::refused) {
        return oxFileAccess::refused;
    }
    outVersion = versionOf(status);
    return S_ISREG(status.st_mode) ? oxFileAccess::ok : oxFileAccess::refused;
}

oxFileAccess readFileContents(const std::string& inPath, std::string& outBytes, oxFileVersion& outVersion) {
    int descriptor = -1;
    struct stat status;
    const oxFileAccess opened = openForReading(inPath, descriptor, status);
    if (opened != oxFileAccess::ok) {
        return opened;
    }
    oxPosixFile file(descriptor);
    outBytes.clear();
    // One byte more, so that the read which finds the end needs no room.
    outBytes.reserve(static_cast<size_t>(status.st_size) + 1);
    if (!readWholeFile(file.get(), outBytes) ||
        retryInterrupted([&] { return fstat(file.get(), &status); }) != 0) {
        return oxFileAccess::refused;
    }
    outVersion = versionOf(status);
    return oxFileAccess::ok;
}

oxFileAccess compareFileContents(const std::string& inPath, const oxChunkSource& inSource, bool& outSame) {
    outSame = false;
    int descriptor = -1;
    struct stat status;
    const oxFileAccess opened = openForReading(inPath, descriptor, status);
    if (opened != oxFileAccess::ok) {
        return opened;
    }
    oxPosixFile file(descriptor);
    off_t offset = 0;
    const auto read = [&](char* outBytes, size_t inLength, size_t& outCount) {
        if (!readAtMost(file.get(), outBytes, inLength, offset, outCount))
            return false;
        offset += static_cast<off_t>(outCount);
        return true;
    };
    return compareContentsWithReads(inSource, read, outSame);
}

oxFileAccess createFileIfAbsent(const std::string& inPath, oxFileVersion& outVersion) {
    // O_EXCL also refuses a link, dangling or not, so nothing is created
    // through one.
    const int descriptor = retryInterrupted(
        [&] { return open(inPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600); });
    if (descriptor < 0) {
        return oxFileAccess::refused;
    }
    oxPosixFile file(descriptor);
    struct stat status;
    if (retryInterrupted([&] { return fstat(file.get(), &status); }) != 0) {
        return oxFileAccess::refused;
    }
    outVersion = versionOf(status);
    return oxFileAccess::ok;
}

bool removeFileIfUnchanged(const std::string& inPath, const oxFileVersion& inVersion) {
    struct stat status;
    if (!inVersion.itsExists || retryInterrupted([&] { return lstat(inPath.c_str(), &status); }) != 0 ||
        !S_ISREG(status.st_mode) || versionOf(status) != inVersion) {
        return false;
    }
    return retryInterrupted([&] { return unlink(inPath.c_str()); }) == 0;
}

bool canCreateFile(const std::string& inPath) {
    std::string target;
    struct stat status;
    return findFinalTarget(inPath, target, status) == oxPosixTarget::missing &&
           !lastComponentOf(target).empty() && isWritableDirectory(directoryOf(target));
}

std::string getLockFileName(const std::string& inPath) {
    std::string target;
    struct stat status;
    findFinalTarget(inPath, target, status);
    return lockPathOf(target.empty() ? inPath : target);
}

intptr_t acquireFileLock(const std::string& inPath, uint32_t inMilliseconds,
                         const std::function<bool()>& inStopRequested, std::string* outReason) {
    std::string reason;
    std::string target;
    struct stat status;
    const oxPosixTarget found =
        inPath.empty() ? oxPosixTarget::refused : findFinalTarget(inPath, target, status);
    int file = -1;
    if (found == oxPosixTarget::refused)
        reason = "its name cannot be followed safely (a link loop, or a link another user may have planted)";
    else
        file = openLockFile(target, found == oxPosixTarget::found ? &status : nullptr, reason);
    // flock, not fcntl: its locks belong to the open file, so two stores in
    // one process exclude each other as two processes do.
    const timespec pause{0, 5 * 1000 * 1000};
    for (uint32_t waited = 0; file >= 0; waited += 5) {
        if (flock(file, LOCK_EX | LOCK_NB) == 0)
            return file;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            reason = "the lock cannot be taken: " + reasonOf(errno);
        } else if (inStopRequested && inStopRequested()) {
            reason = "interrupted";
        } else if (waited >= inMilliseconds) {
            reason = "another writer has held the lock \"" + lockPathOf(target) + "\" for " +
                     std::to_string(inMilliseconds / 1000) + " seconds";
        } else {
            nanosleep(&pause, nullptr);
            continue;
        }
        close(file);
        file = -1;
    }
    if (outReason != nullptr)
        *outReason = reason;
    return -1;
}

void releaseFileLock(intptr_t inToken) {
    if (inToken >= 0) {
        // Closing the last descriptor of the open file releases the lock.
        close(static_cast<int>(inToken));
    }
}

void removeStaleTemporaryFiles(const std::string& inPath) {
    std::string target;
    struct stat status;
    if (findFinalTarget(inPath, target, status) == oxPosixTarget::refused) {
        return;
    }
    const std::string directory = directoryOf(target);
    const std::string name = lastComponentOf(target);
    DIR* entries = opendir(directory.c_str());
    if (entries == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(entries)) {
        if (!isTemporaryNameOf(entry->d_name, name)) {
            continue;
        }
        const std::string path = directory + "/" + entry->d_name;
        struct stat found;
        // Ours have one name: a file linked elsewhere is somebody's.
        if (retryInterrupted([&] { return lstat(path.c_str(), &found); }) == 0 && S_ISREG(found.st_mode) &&
            found.st_nlink == 1) {
            retryInterrupted([&] { return unlink(path.c_str()); });
        }
    }
    closedir(entries);
}

bool hasInterruptedWrite(const std::string& inPath) {
    return hasJournalBeside(inPath);
}

bool restoreInterruptedWrite(const std::string& inPath, std::string& outReason) {
    return restoreFromJournal(inPath, outReason);
}
