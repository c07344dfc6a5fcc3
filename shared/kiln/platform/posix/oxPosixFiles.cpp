// File look-up, file times and safe replacement of a file's contents on
// POSIX.
#include "oxPlatformExtras.h"
#include "oxPosixHandles.h"
#include "oxPosixWin32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

// --- File times ------------------------------------------------------------

const uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
const uint64_t kIntervalsPerSecond = 10000000ULL;
const uint64_t kIntervalsPerMillisecond = 10000ULL;
const uint64_t kMillisecondsPerDay = 86400000ULL;
// Days from 0000-03-01, where the civil-date arithmetic below counts
// from, to 1601-01-01.
const uint64_t kDaysFromMarchOfYear0To1601 = 584694;
const uint64_t kLatestConvertibleTime = 0x7FFFFFFFFFFFFFFFULL;

FILETIME toFileTime(const timespec& inTime) {
    uint64_t intervals = 0;
    // Windows cannot express a moment before 1601; the earliest it has
    // stands in for them.
    if (inTime.tv_sec >= -static_cast<int64_t>(kSecondsFrom1601To1970)) {
        // Unsigned wrap-around makes the sum right for negative seconds too.
        const uint64_t seconds = static_cast<uint64_t>(inTime.tv_sec) + kSecondsFrom1601To1970;
        const uint64_t mostSeconds = (UINT64_MAX - kIntervalsPerSecond) / kIntervalsPerSecond;
        intervals = seconds > mostSeconds
                        ? UINT64_MAX
                        : seconds * kIntervalsPerSecond + static_cast<uint64_t>(inTime.tv_nsec) / 100;
    }
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(intervals);
    result.dwHighDateTime = static_cast<DWORD>(intervals >> 32);
    return result;
}

// The proleptic Gregorian date inDays after 1601-01-01, in 400-year eras
// counted from 1 March so that the leap day ends each year.
void setCivilDate(uint64_t inDays, SYSTEMTIME& outTime) {
    const uint64_t days = inDays + kDaysFromMarchOfYear0To1601;
    const uint64_t era = days / 146097;
    const uint64_t dayOfEra = days - era * 146097;
    const uint64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const uint64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    outTime.wYear = static_cast<WORD>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
    outTime.wMonth = static_cast<WORD>(month);
    outTime.wDay = static_cast<WORD>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    // 1601-01-01 was a Monday.
    outTime.wDayOfWeek = static_cast<WORD>((inDays + 1) % 7);
}

// --- Find handles ----------------------------------------------------------

// A find handle is the address of one of these, so that it never equals a
// kernel object's handle and FindClose can tell live handles from others.
struct oxPosixFindSearch {};

pthread_mutex_t theSearchesLock = PTHREAD_MUTEX_INITIALIZER;
// On the heap and never freed, like the table of kernel objects.
std::set<HANDLE>* theLiveSearches = nullptr;

HANDLE openSearch() {
    try {
        oxPosixLock lock(theSearchesLock);
        if (theLiveSearches == nullptr) {
            theLiveSearches = new std::set<HANDLE>;
        }
        HANDLE search = new oxPosixFindSearch;
        try {
            theLiveSearches->insert(search);
        } catch (const std::bad_alloc&) {
            delete static_cast<oxPosixFindSearch*>(search);
            throw;
        }
        return search;
    } catch (const std::bad_alloc&) {
        return INVALID_HANDLE_VALUE;
    }
}

DWORD attributesOf(const struct stat& inStatus) {
    DWORD attributes = 0;
    if (S_ISDIR(inStatus.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if ((inStatus.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// --- Replacing a file's contents -------------------------------------------

// More links than this in one chain is taken for a loop, as the kernel does.
const int kMostLinksFollowed = 40;
const int kTemporaryNameAttempts = 100;
// The target's name in the temporary name is cut to this, so that a long
// name plus the suffix stays within the system's limit for one component.
const size_t kLongestNameInTemporary = 64;

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

bool readLink(const std::string& inPath, std::string& outText) {
    for (size_t size = 256; size <= (1u << 20); size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t length = readlink(inPath.c_str(), buffer.data(), buffer.size());
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

// Follows inPath through symbolic links to the name of the file the chain
// ends at, which need not exist (a dangling link names the file to create).
// The directories on the way are left as written: a rename within them
// works all the same. False for a loop or for any error but a missing file.
bool findFinalTarget(const std::string& inPath, std::string& outTarget, bool& outExists,
                     struct stat& outStatus) {
    std::string path = inPath;
    for (int links = 0; links <= kMostLinksFollowed; ++links) {
        if (lstat(path.c_str(), &outStatus) != 0) {
            if (errno != ENOENT) {
                return false;
            }
            outTarget = path;
            outExists = false;
            return true;
        }
        if (!S_ISLNK(outStatus.st_mode)) {
            outTarget = path;
            outExists = true;
            return true;
        }
        std::string link;
        if (!readLink(path, link) || link.empty()) {
            return false;
        }
        path = link[0] == '/' ? link : directoryOf(path) + "/" + link;
    }
    return false;
}

std::string randomSuffix() {
    static std::atomic<uint64_t> theCalls{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t seed = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                    (static_cast<uint64_t>(getpid()) << 40) ^
                    (++theCalls * 0x9E3779B97F4A7C15ULL);
    static const char kDigits[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix += kDigits[seed % 62];
        seed /= 62;
    }
    return suffix;
}

// Creates ".<name>.XXXXXX" beside inTarget. Not mkstemp: that always uses
// mode 0600, and a new file must get what a plain creation would (0666
// less the umask, and the directory's default ACL), which only the kernel
// applies without reading the process-wide umask racily.
int createTemporaryFile(const std::string& inTarget, mode_t inMode, std::string& outPath) {
    const std::string prefix = directoryOf(inTarget) + "/." +
                               lastComponentOf(inTarget).substr(0, kLongestNameInTemporary) + ".";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        outPath = prefix + randomSuffix();
        const int file =
            open(outPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, inMode);
        if (file >= 0 || errno != EEXIST) {
            return file;
        }
    }
    return -1;
}

bool writeAll(int inFile, const std::string& inBytes) {
    const char* next = inBytes.data();
    size_t left = inBytes.size();
    while (left > 0) {
        const ssize_t written = write(inFile, next, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

bool syncFile(int inFile) {
    int result;
    do {
        result = fsync(inFile);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// Gives the temporary file the old file's owner (where the process may;
// otherwise it stays the caller's) and permission bits. The owner goes
// first, since changing it clears the set-id bits.
bool copyOwnerAndMode(int inFile, const struct stat& inOld) {
    struct stat current;
    if (fstat(inFile, &current) != 0) {
        return false;
    }
    if (current.st_uid != inOld.st_uid || current.st_gid != inOld.st_gid) {
        if (fchown(inFile, inOld.st_uid, inOld.st_gid) != 0) {
            // Keep the group at least, if the caller belongs to it.
            (void)!fchown(inFile, static_cast<uid_t>(-1), inOld.st_gid);
        }
    }
    return fchmod(inFile, inOld.st_mode & 07777) == 0;
}

// The rename is on disk only once its directory is; a failure here leaves
// the new contents in place, so it costs nothing but durability.
void syncDirectory(const std::string& inDirectory) {
    const int directory = open(inDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        syncFile(directory);
        close(directory);
    }
}

// Fills and flushes the temporary file and moves it over inTarget; closes
// inFile in every case.
bool fillAndMove(int inFile, const std::string& inTemporary, const std::string& inTarget,
                 bool inExists, const struct stat& inOld, const std::string& inBytes) {
    const bool filled = (!inExists || copyOwnerAndMode(inFile, inOld)) && writeAll(inFile, inBytes) &&
                        syncFile(inFile);
    // An error from close may report a write that failed late (network
    // file systems); EINTR still closes the file on Linux.
    const bool closed = close(inFile) == 0 || errno == EINTR;
    return filled && closed && rename(inTemporary.c_str(), inTarget.c_str()) == 0;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR inFileName, LPWIN32_FIND_DATAA outFindData) {
    if (inFileName == nullptr || outFindData == nullptr || *inFileName == '\0') {
        return INVALID_HANDLE_VALUE;
    }
    const std::string name = lastComponentOf(inFileName);
    struct stat status;
    if (name.empty() || name.size() >= MAX_PATH || stat(inFileName, &status) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE search = openSearch();
    if (search == INVALID_HANDLE_VALUE) {
        return search;
    }
    WIN32_FIND_DATAA found;
    std::memset(&found, 0, sizeof found);
    found.dwFileAttributes = attributesOf(status);
    found.ftCreationTime = toFileTime(status.st_ctim);
    found.ftLastAccessTime = toFileTime(status.st_atim);
    found.ftLastWriteTime = toFileTime(status.st_mtim);
    if (!S_ISDIR(status.st_mode)) {
        const uint64_t size = static_cast<uint64_t>(status.st_size);
        found.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        found.nFileSizeLow = static_cast<DWORD>(size);
    }
    std::memcpy(found.cFileName, name.c_str(), name.size() + 1);
    *outFindData = found;
    return search;
}

BOOL FindClose(HANDLE inFindFile) {
    oxPosixLock lock(theSearchesLock);
    if (theLiveSearches == nullptr || theLiveSearches->erase(inFindFile) == 0) {
        return FALSE;
    }
    delete static_cast<oxPosixFindSearch*>(inFindFile);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* inFileTime, LPSYSTEMTIME outSystemTime) {
    if (inFileTime == nullptr || outSystemTime == nullptr) {
        return FALSE;
    }
    const uint64_t intervals =
        (static_cast<uint64_t>(inFileTime->dwHighDateTime) << 32) | inFileTime->dwLowDateTime;
    if (intervals > kLatestConvertibleTime) {
        return FALSE;
    }
    const uint64_t milliseconds = intervals / kIntervalsPerMillisecond;
    const uint64_t ofDay = milliseconds % kMillisecondsPerDay;
    SYSTEMTIME result;
    setCivilDate(milliseconds / kMillisecondsPerDay, result);
    result.wHour = static_cast<WORD>(ofDay / 3600000);
    result.wMinute = static_cast<WORD>(ofDay / 60000 % 60);
    result.wSecond = static_cast<WORD>(ofDay / 1000 % 60);
    result.wMilliseconds = static_cast<WORD>(ofDay % 1000);
    *outSystemTime = result;
    return TRUE;
}

bool replaceFileContents(const std::string& inPath, const std::string& inBytes) {
    std::string target;
    bool exists = false;
    struct stat old{};
    if (inPath.empty() || !findFinalTarget(inPath, target, exists, old) ||
        lastComponentOf(target).empty()) {
        return false;
    }
    // Only a regular file may be swapped out; and one that could not be
    // opened for writing is refused, as writing it in place would be.
    if (exists && (!S_ISREG(old.st_mode) ||
                   faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)) {
        return false;
    }
    std::string temporary;
    const int file = createTemporaryFile(target, exists ? 0600 : 0666, temporary);
    if (file < 0) {
        return false;
    }
    if (!fillAndMove(file, temporary, target, exists, old, inBytes)) {
        unlink(temporary.c_str());
        return false;
    }
    syncDirectory(directoryOf(target));
    return true;
}
