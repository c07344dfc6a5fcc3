// Crash output on POSIX: time, open and write are async-signal-safe;
// localtime_r is not, so only its offset is kept. time, not
// clock_gettime: the log's own lines read that clock, whose second may
// turn a little later.
#include "oxCrashOutput.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::atomic<long> theUTCOffset{0};
std::atomic<int> theFile{-1};
// Written only while no file is set (theHasPath false), so a crash never
// reads a path that is being changed.
char thePath[4096];
std::atomic<bool> theHasPath{false};

const int kOpenFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC;

void writeAll(int inFile, const char* inText, size_t inLength) {
    while (inLength > 0) {
        const ssize_t written = write(inFile, inText, inLength);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        inText += written;
        inLength -= static_cast<size_t>(written);
    }
}

// Howard Hinnant's civil-from-days: the date of a day count since 1970.
void civilFromDays(long inDays, int& outMonth, int& outDay) {
    inDays += 719468;
    const long era = (inDays >= 0 ? inDays : inDays - 146096) / 146097;
    const long dayOfEra = inDays - era * 146097;
    const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long monthIndex = (5 * dayOfYear + 2) / 153;
    outDay = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    outMonth = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
}

}  // namespace

void prepareCrashTime() {
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) != nullptr)
        theUTCOffset.store(local.tm_gmtoff, std::memory_order_relaxed);
}

void readCrashTime(oxCrashTime& outTime) {
    const long long local =
        static_cast<long long>(time(nullptr)) + theUTCOffset.load(std::memory_order_relaxed);
    long days = static_cast<long>(local / 86400);
    long seconds = static_cast<long>(local % 86400);
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    civilFromDays(days, outTime.itsMonth, outTime.itsDay);
    outTime.itsHour = static_cast<int>(seconds / 3600);
    outTime.itsMinute = static_cast<int>(seconds / 60 % 60);
    outTime.itsSecond = static_cast<int>(seconds % 60);
}

void prepareCrashFile(const char* inPath) {
    theHasPath.store(false);
    const int previous = theFile.exchange(-1);
    if (previous >= 0)
        close(previous);
    if (inPath == nullptr || *inPath == '\0' || strlen(inPath) >= sizeof thePath)
        return;
    memcpy(thePath, inPath, strlen(inPath) + 1);
    theFile.store(open(thePath, kOpenFlags));
    theHasPath.store(true);
}

void writeCrashConsole(const char* inText, size_t inLength) {
    writeAll(STDERR_FILENO, inText, inLength);
}

void writeCrashFile(const char* inText, size_t inLength) {
    int file = theFile.load();
    if (file < 0 && theHasPath.load())
        file = open(thePath, kOpenFlags | O_CREAT, 0666);
    if (file >= 0)
        writeAll(file, inText, inLength);
}
