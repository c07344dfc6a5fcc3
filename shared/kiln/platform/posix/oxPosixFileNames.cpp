// Following a file name through symbolic links, the names kept beside a
// file, and reading a file whole, on POSIX.
#include "oxPosixFileNames.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <vector>

#include "oxReplacementFiles.h"

namespace {

// More links than this in one chain is taken for a loop, as the kernel does.
const int kMostLinksFollowed = 40;

bool readLink(const std::string& inPath, std::string& outText) {
    for (size_t size = 256; size <= (1u << 20); size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t length =
            retryInterrupted([&] { return readlink(inPath.c_str(), buffer.data(), buffer.size()); });
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            outText.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
    }
    return false;
}

bool mayFollowLink(const std::string& inLink, const struct stat& inLinkStatus) {
    struct stat directory;
    if (retryInterrupted([&] { return lstat(directoryOf(inLink).c_str(), &directory); }) != 0) {
        return false;
    }
    const bool shared = (directory.st_mode & S_ISVTX) != 0 && (directory.st_mode & S_IWOTH) != 0;
    return !shared || inLinkStatus.st_uid == directory.st_uid || inLinkStatus.st_uid == geteuid();
}

std::string besideTarget(const std::string& inTarget, const std::string& inName) {
    const std::string directory = directoryOf(inTarget);
    return (directory == "/" ? std::string() : directory) + "/" + inName;
}

}  // namespace

std::string directoryOf(const std::string& inPath) {
    const size_t slash = inPath.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : inPath.substr(0, slash);
}

std::string lastComponentOf(const std::string& inPath) {
    const size_t slash = inPath.find_last_of('/');
    return slash == std::string::npos ? inPath : inPath.substr(slash + 1);
}

std::string lockPathOf(const std::string& inTarget) {
    return inTarget + ".lock";
}

std::string journalPathOf(const std::string& inTarget) {
    return besideTarget(inTarget, journalNameOf(lastComponentOf(inTarget)));
}

std::string temporaryPathOf(const std::string& inTarget, uint64_t inSeed) {
    return besideTarget(inTarget, temporaryNameOf(lastComponentOf(inTarget), inSeed));
}

namespace {
const int kTemporaryNameAttempts = 100;

uint64_t randomSeed() {
    static std::atomic<uint64_t> theCalls{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
           (static_cast<uint64_t>(getpid()) << 40) ^ (++theCalls * 0x9E3779B97F4A7C15ULL);
}
}  // namespace

int createTemporaryFileBeside(const std::string& inTarget, std::string& outPath) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        outPath = temporaryPathOf(inTarget, randomSeed());
        const int file = retryInterrupted([&] {
            return open(outPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                        0600);
        });
        if (file >= 0 || errno != EEXIST)
            return file;
    }
    return -1;
}

bool readWholeFile(int inFile, std::string& ioBytes) {
    // Read straight into the string's room, never through a second buffer.
    // A caller that reserves one byte more than the file's size has it
    // read without the string ever moving.
    const size_t kLeastRoom = 65536;
    size_t used = ioBytes.size();
    for (off_t offset = 0;;) {
        if (ioBytes.size() == used) {
            ioBytes.resize(std::max(used + kLeastRoom, ioBytes.capacity()));
        }
        const ssize_t count =
            retryInterrupted([&] { return pread(inFile, &ioBytes[used], ioBytes.size() - used, offset); });
        if (count < 0) {
            ioBytes.resize(used);
            return false;
        }
        if (count == 0) {
            ioBytes.resize(used);
            return true;
        }
        used += static_cast<size_t>(count);
        offset += count;
    }
}

bool writeAllAt(int inFile, const char* inBytes, size_t inLength, off_t inOffset) {
    while (inLength > 0) {
        const ssize_t written = retryInterrupted([&] { return pwrite(inFile, inBytes, inLength, inOffset); });
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        inBytes += written;
        inLength -= static_cast<size_t>(written);
        inOffset += written;
    }
    return true;
}

bool syncFile(int inFile) {
    return retryInterrupted([&] { return fsync(inFile); }) == 0;
}

void syncDirectory(const std::string& inDirectory) {
    const int directory =
        retryInterrupted([&] { return open(inDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (directory >= 0) {
        syncFile(directory);
        close(directory);
    }
}

oxPosixTarget findFinalTarget(const std::string& inPath, std::string& outTarget, struct stat& outStatus) {
    std::string path = inPath;
    for (int links = 0; links <= kMostLinksFollowed; ++links) {
        if (retryInterrupted([&] { return lstat(path.c_str(), &outStatus); }) != 0) {
            if (errno != ENOENT) {
                return oxPosixTarget::refused;
            }
            outTarget = path;
            return oxPosixTarget::missing;
        }
        if (!S_ISLNK(outStatus.st_mode)) {
            outTarget = path;
            return oxPosixTarget::found;
        }
        std::string link;
        if (!mayFollowLink(path, outStatus) || !readLink(path, link) || link.empty()) {
            return oxPosixTarget::refused;
        }
        path = link[0] == '/' ? link : directoryOf(path) + "/" + link;
    }
    return oxPosixTarget::refused;
}

bool isWritableDirectory(const std::string& inDirectory) {
    return retryInterrupted(
               [&] { return faccessat(AT_FDCWD, inDirectory.c_str(), W_OK | X_OK, AT_EACCESS); }) == 0;
}

std::string reasonOf(int inError) {
    switch (inError) {
        case ENOSPC:
        case EDQUOT:
            return "the disk is full";
        case EFBIG:
            return "the file would exceed the size limit";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EROFS:
            return "the file system is read-only";
        case EIO:
            return "an input/output error";
        case ENOENT:
            return "the directory does not exist";
        case ENOTDIR:
            return "a part of the path is not a directory";
        default: {
            std::string text = std::strerror(inError);
            if (!text.empty())
                text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
            return text;
        }
    }
}
