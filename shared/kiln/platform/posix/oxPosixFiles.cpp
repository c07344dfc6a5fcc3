// File look-up, file times and safe replacement of a file's contents on
// POSIX.
#include "oxPlatformExtras.h"
#include "oxPlatformFiles.h"
#include "oxPosixFileNames.h"
#include "oxPosixHandles.h"
#include "oxPosixWin32.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
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
    const uint64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
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

const int kTemporaryNameAttempts = 100;

std::string randomSuffix() {
    static std::atomic<uint64_t> theCalls{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t seed = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                    (static_cast<uint64_t>(getpid()) << 40) ^ (++theCalls * 0x9E3779B97F4A7C15ULL);
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    for (int i = 0; i < kTemporarySuffixLength; ++i) {
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
    const std::string prefix = temporaryPrefixOf(inTarget);
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        outPath = prefix + randomSuffix();
        const int file = open(outPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, inMode);
        if (file >= 0 || errno != EEXIST) {
            return file;
        }
    }
    return -1;
}

bool writeAllAt(int inFile, const std::string& inBytes, off_t inOffset) {
    const char* next = inBytes.data();
    size_t left = inBytes.size();
    while (left > 0) {
        const ssize_t written = pwrite(inFile, next, left, inOffset);
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
        inOffset += written;
    }
    return true;
}

// Sends a piece just written on its way to the disk while the next one is
// made, so that the closing fsync has less left to wait for. Only a hint:
// that fsync still reports any failure.
void startWriteBack(int inFile, off_t inOffset, size_t inLength) {
#if defined(__linux__)
    sync_file_range(inFile, inOffset, static_cast<off_t>(inLength), SYNC_FILE_RANGE_WRITE);
#else
    (void)inFile;
    (void)inOffset;
    (void)inLength;
#endif
}

// Writes what inSource gives from offset 0 on; outLength: how much.
bool writeSourceAt(int inFile, const oxContentSource& inSource, off_t& outLength) {
    std::string chunk;
    outLength = 0;
    for (bool more = true; more;) {
        chunk.clear();
        more = inSource(chunk);
        if (!writeAllAt(inFile, chunk, outLength)) {
            return false;
        }
        startWriteBack(inFile, outLength, chunk.size());
        outLength += static_cast<off_t>(chunk.size());
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
// first, since changing it clears the set-id bits. False also when the
// owner or group could not be kept: the new file would then not be what
// the old one was.
bool copyOwnerAndMode(int inFile, const struct stat& inOld) {
    struct stat current;
    if (fstat(inFile, &current) != 0) {
        return false;
    }
    if (current.st_uid != inOld.st_uid || current.st_gid != inOld.st_gid) {
        if (fchown(inFile, inOld.st_uid, inOld.st_gid) != 0) {
            return false;
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

// --- Temporary files and the signals that end a process ---------------------

// SIGTERM, SIGINT and SIGHUP would end the process in the middle of a
// write and leave the temporary file behind. While one exists, their
// default action first removes it. The names live in static slots that the
// handler reads without locks or allocation.
const int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
const int kTemporarySlots = 8;
enum : int { kSlotFree = 0, kSlotFilling = 1, kSlotReady = 2 };
std::atomic<int> theSlotStates[kTemporarySlots];
char theSlotPaths[kTemporarySlots][PATH_MAX];
pthread_mutex_t theGuardsLock = PTHREAD_MUTEX_INITIALIZER;
int theActiveGuards = 0;
struct sigaction thePreviousActions[3];
bool theHandlerInstalled[3];

void removeTemporariesAndEnd(int inSignal) {
    for (int slot = 0; slot < kTemporarySlots; ++slot) {
        if (theSlotStates[slot].load() == kSlotReady) {
            unlink(theSlotPaths[slot]);
        }
    }
    signal(inSignal, SIG_DFL);
    raise(inSignal);
}

// Installs the handler for the signals whose action is the default one,
// for as long as any thread of the process is writing.
class oxTemporaryFileGuard {
public:
    explicit oxTemporaryFileGuard(const std::string& inPath) : itsSlot(-1) {
        {
            oxPosixLock lock(theGuardsLock);
            if (theActiveGuards++ == 0) {
                installHandlers();
            }
        }
        if (inPath.size() >= PATH_MAX) {
            return;
        }
        for (int slot = 0; slot < kTemporarySlots; ++slot) {
            int expected = kSlotFree;
            if (theSlotStates[slot].compare_exchange_strong(expected, kSlotFilling)) {
                std::memcpy(theSlotPaths[slot], inPath.c_str(), inPath.size() + 1);
                theSlotStates[slot].store(kSlotReady);
                itsSlot = slot;
                return;
            }
        }
    }
    ~oxTemporaryFileGuard() {
        if (itsSlot >= 0) {
            theSlotStates[itsSlot].store(kSlotFree);
        }
        oxPosixLock lock(theGuardsLock);
        if (--theActiveGuards == 0) {
            restoreHandlers();
        }
    }
    oxTemporaryFileGuard(const oxTemporaryFileGuard&) = delete;
    oxTemporaryFileGuard& operator=(const oxTemporaryFileGuard&) = delete;

private:
    static void installHandlers() {
        for (int i = 0; i < 3; ++i) {
            theHandlerInstalled[i] = false;
            struct sigaction current;
            if (sigaction(kEndingSignals[i], nullptr, &current) != 0 ||
                (current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) {
                continue;
            }
            struct sigaction removing {};
            removing.sa_handler = removeTemporariesAndEnd;
            sigemptyset(&removing.sa_mask);
            removing.sa_flags = SA_RESTART;
            theHandlerInstalled[i] = sigaction(kEndingSignals[i], &removing, &thePreviousActions[i]) == 0;
        }
    }
    static void restoreHandlers() {
        for (int i = 0; i < 3; ++i) {
            if (theHandlerInstalled[i]) {
                sigaction(kEndingSignals[i], &thePreviousActions[i], nullptr);
            }
        }
    }

    int itsSlot;
};

// Fills and flushes the temporary file and moves it over inTarget; closes
// inFile in every case. outKeepsOwner is false when the new file could not
// be given the old one's owner and group.
bool fillAndMove(int inFile, const std::string& inTemporary, const std::string& inTarget, bool inExists,
                 const struct stat& inOld, const oxContentSource& inSource, bool& outKeepsOwner) {
    // The owner first: when it cannot be kept, nothing of inSource is used.
    outKeepsOwner = !inExists || copyOwnerAndMode(inFile, inOld);
    off_t length = 0;
    const bool filled = outKeepsOwner && writeSourceAt(inFile, inSource, length) && syncFile(inFile);
    // An error from close may report a write that failed late (network
    // file systems); EINTR still closes the file on Linux.
    const bool closed = close(inFile) == 0 || errno == EINTR;
    return filled && closed && rename(inTemporary.c_str(), inTarget.c_str()) == 0;
}

// Writes the new contents over the file itself, for where a new file renamed over
// it would not be what it was. The old contents are kept aside first and
// put back when the write fails, so a failure leaves the file as it was
// (unless the putting back fails too, which the disk alone decides).
bool overwriteInPlace(const std::string& inTarget, const struct stat& inOld,
                      const oxContentSource& inSource) {
    const int file = open(inTarget.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        return false;
    }
    struct stat status;
    std::string old;
    bool written = false;
    if (fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_dev == inOld.st_dev &&
        status.st_ino == inOld.st_ino && readWholeFile(file, old)) {
        off_t length = 0;
        written = writeSourceAt(file, inSource, length) && ftruncate(file, length) == 0 && syncFile(file);
        if (!written) {
            writeAllAt(file, old, 0);
            (void)!ftruncate(file, static_cast<off_t>(old.size()));
            syncFile(file);
        }
    }
    const bool closed = close(file) == 0 || errno == EINTR;
    return written && closed;
}

bool isWritableDirectory(const std::string& inDirectory) {
    return faccessat(AT_FDCWD, inDirectory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
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
    return replaceFileContentsFrom(inPath, [&inBytes](std::string& ioChunk) {
        ioChunk = inBytes;
        return false;
    });
}

bool replaceFileContentsFrom(const std::string& inPath, const oxContentSource& inSource) {
    std::string target;
    struct stat old {};
    const oxPosixTarget found =
        inPath.empty() ? oxPosixTarget::refused : findFinalTarget(inPath, target, old);
    const bool exists = found == oxPosixTarget::found;
    if (found == oxPosixTarget::refused || lastComponentOf(target).empty()) {
        return false;
    }
    // Only a regular file may be written; and one that could not be opened
    // for writing is refused, as writing it in place would be.
    if (exists && (!S_ISREG(old.st_mode) || faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)) {
        return false;
    }
    // A rename would split hard links or fail in a directory the caller may
    // not write; the file itself is written then.
    if (exists && (old.st_nlink > 1 || !isWritableDirectory(directoryOf(target)))) {
        return overwriteInPlace(target, old, inSource);
    }
    std::string temporary;
    const int file = createTemporaryFile(target, exists ? 0600 : 0666, temporary);
    if (file < 0) {
        return false;
    }
    bool keepsOwner = true;
    {
        oxTemporaryFileGuard guard(temporary);
        if (fillAndMove(file, temporary, target, exists, old, inSource, keepsOwner)) {
            syncDirectory(directoryOf(target));
            return true;
        }
        unlink(temporary.c_str());
    }
    // Renamed, the file would have changed hands: another user may then be
    // locked out of their own file.
    return !keepsOwner && overwriteInPlace(target, old, inSource);
}
