// Versions of a file, reads that never block, creation that never
// replaces, and the lock shared with other processes, on POSIX.
#include "oxPlatformFiles.h"
#include "oxPosixFileNames.h"

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
    outFile = open(target.c_str(), inFlags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (outFile < 0) {
        return errno == ENOENT ? oxFileAccess::missing : oxFileAccess::refused;
    }
    if (fstat(outFile, &outStatus) != 0 || !S_ISREG(outStatus.st_mode)) {
        close(outFile);
        outFile = -1;
        return oxFileAccess::refused;
    }
    return oxFileAccess::ok;
}

bool isTemporaryNameOf(const std::string& inName, const std::string& inPrefix) {
    if (inName.size() != inPrefix.size() + kTemporarySuffixLength ||
        inName.compare(0, inPrefix.size(), inPrefix) != 0) {
        return false;
    }
    for (size_t i = inPrefix.size(); i < inName.size(); ++i) {
        const char c = inName[i];
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric) {
            return false;
        }
    }
    return true;
}

int openLockFile(const std::string& inPath) {
    const std::string name = getLockFileName(inPath);
    const int flags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int file = open(name.c_str(), O_RDWR | O_CREAT | flags, 0666);
    if (file < 0 && errno != ENOENT && errno != ELOOP) {
        // flock needs no write access: a lock file made by another user
        // still serves.
        file = open(name.c_str(), O_RDONLY | flags);
    }
    if (file < 0) {
        // A directory the caller may not write: lock the file itself.
        int target = -1;
        struct stat status;
        if (openRegularFile(inPath, O_RDONLY, target, status) == oxFileAccess::ok) {
            return target;
        }
    }
    return file;
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
    const oxFileAccess opened = openRegularFile(inPath, O_RDONLY, descriptor, status);
    if (opened != oxFileAccess::ok) {
        return opened;
    }
    oxPosixFile file(descriptor);
    // Regular files never block; clearing the flag keeps reads plain.
    fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    outBytes.clear();
    // One byte more, so that the read which finds the end needs no room.
    outBytes.reserve(static_cast<size_t>(status.st_size) + 1);
    if (!readWholeFile(file.get(), outBytes) || fstat(file.get(), &status) != 0) {
        return oxFileAccess::refused;
    }
    outVersion = versionOf(status);
    return oxFileAccess::ok;
}

oxFileAccess createFileIfAbsent(const std::string& inPath, oxFileVersion& outVersion) {
    // O_EXCL also refuses a link, dangling or not, so nothing is created
    // through one.
    const int descriptor = open(inPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (descriptor < 0) {
        return oxFileAccess::refused;
    }
    oxPosixFile file(descriptor);
    struct stat status;
    if (fstat(file.get(), &status) != 0) {
        return oxFileAccess::refused;
    }
    outVersion = versionOf(status);
    return oxFileAccess::ok;
}

bool removeFileIfUnchanged(const std::string& inPath, const oxFileVersion& inVersion) {
    struct stat status;
    if (!inVersion.itsExists || lstat(inPath.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        versionOf(status) != inVersion) {
        return false;
    }
    return unlink(inPath.c_str()) == 0;
}

std::string getLockFileName(const std::string& inPath) {
    return inPath + ".lock";
}

intptr_t acquireFileLock(const std::string& inPath, uint32_t inMilliseconds) {
    const int file = openLockFile(inPath);
    if (file < 0) {
        return -1;
    }
    // flock, not fcntl: its locks belong to the open file, so two stores in
    // one process exclude each other as two processes do.
    const timespec pause{0, 5 * 1000 * 1000};
    for (uint32_t waited = 0;; waited += 5) {
        if (flock(file, LOCK_EX | LOCK_NB) == 0) {
            return file;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= inMilliseconds) {
            close(file);
            return -1;
        }
        nanosleep(&pause, nullptr);
    }
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
    const std::string prefix = lastComponentOf(temporaryPrefixOf(target));
    DIR* entries = opendir(directory.c_str());
    if (entries == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(entries)) {
        const std::string name = entry->d_name;
        if (!isTemporaryNameOf(name, prefix)) {
            continue;
        }
        const std::string path = directory + "/" + name;
        struct stat found;
        if (lstat(path.c_str(), &found) == 0 && S_ISREG(found.st_mode)) {
            unlink(path.c_str());
        }
    }
    closedir(entries);
}
