// File look-up and file times on POSIX.
#include "oxPosixFileNames.h"
#include "oxPosixHandles.h"
#include "oxPosixWin32.h"

#include <sys/stat.h>
#include <time.h>

#include <cstring>
#include <new>
#include <set>
#include <string>

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
