// Crash output on Windows: the kernel32 calls below take no lock of the
// C runtime and allocate nothing, so they are safe in the exception filter.
#include "oxCrashOutput.h"

#include <atomic>
#include <cstring>

#include "oxWin32.h"

namespace {

std::atomic<HANDLE> theFile{INVALID_HANDLE_VALUE};
// Written only while no file is set (theHasPath false).
char thePath[MAX_PATH + 1];
std::atomic<bool> theHasPath{false};

const DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openForAppending(DWORD inDisposition) {
    return CreateFileA(thePath, FILE_APPEND_DATA, kShareMode, nullptr, inDisposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

void writeAll(HANDLE inFile, const char* inText, DWORD inLength) {
    while (inLength > 0) {
        DWORD written = 0;
        if (!WriteFile(inFile, inText, inLength, &written, nullptr) || written == 0)
            return;
        inText += written;
        inLength -= written;
    }
}

// As a text-mode stream writes it: each line feed as CR LF.
void writeText(HANDLE inFile, const char* inText, size_t inLength) {
    if (inFile == nullptr || inFile == INVALID_HANDLE_VALUE)
        return;
    size_t start = 0;
    for (size_t at = 0; at < inLength; ++at) {
        if (inText[at] != '\n')
            continue;
        writeAll(inFile, inText + start, static_cast<DWORD>(at - start));
        writeAll(inFile, "\r\n", 2);
        start = at + 1;
    }
    writeAll(inFile, inText + start, static_cast<DWORD>(inLength - start));
}

}  // namespace

void prepareCrashTime() {}

void readCrashTime(oxCrashTime& outTime) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    outTime.itsMonth = now.wMonth;
    outTime.itsDay = now.wDay;
    outTime.itsHour = now.wHour;
    outTime.itsMinute = now.wMinute;
    outTime.itsSecond = now.wSecond;
}

void prepareCrashFile(const char* inPath) {
    theHasPath.store(false);
    const HANDLE previous = theFile.exchange(INVALID_HANDLE_VALUE);
    if (previous != INVALID_HANDLE_VALUE)
        CloseHandle(previous);
    if (inPath == nullptr || *inPath == '\0' || strlen(inPath) >= sizeof thePath)
        return;
    memcpy(thePath, inPath, strlen(inPath) + 1);
    theFile.store(openForAppending(OPEN_EXISTING));
    theHasPath.store(true);
}

void writeCrashConsole(const char* inText, size_t inLength) {
    writeText(GetStdHandle(STD_ERROR_HANDLE), inText, inLength);
}

void writeCrashFile(const char* inText, size_t inLength) {
    HANDLE file = theFile.load();
    if (file == INVALID_HANDLE_VALUE && theHasPath.load())
        file = openForAppending(OPEN_ALWAYS);
    writeText(file, inText, inLength);
}
