// The system version, path separator, standard input's mode and file
// permissions on Windows.
#include "oxWin32.h"

#include <fcntl.h>

#include <cstdio>

#ifdef _MSC_VER
// GetVersionExA is deprecated, but its numbers are what the platform
// description names.
#pragma warning(disable : 4996)
#endif

namespace {

// The record sizes the version query is asked with.
const DWORD kExtendedRecordSize = 156;
const DWORD kBasicRecordSize = 148;

// GetSystemMetrics index: non-zero on Windows Server 2003 R2.
const int kServerR2Metric = 89;

static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedRecordSize, "unexpected OSVERSIONINFOEXA size");
static_assert(sizeof(OSVERSIONINFOA) == kBasicRecordSize, "unexpected OSVERSIONINFOA size");

}  // namespace

bool readPlatformVersion(oxPlatformVersion& outVersion) {
    outVersion = oxPlatformVersion();

    OSVERSIONINFOEXA extended;
    ZeroMemory(&extended, sizeof extended);
    extended.dwOSVersionInfoSize = kExtendedRecordSize;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
        outVersion.itsPlatformId = extended.dwPlatformId;
        outVersion.itsMajor = extended.dwMajorVersion;
        outVersion.itsMinor = extended.dwMinorVersion;
        outVersion.itsBuildNumber = extended.dwBuildNumber;
        outVersion.itsProductType = extended.wProductType;
    } else {
        // Systems older than the extended record only know the basic one.
        OSVERSIONINFOA basic;
        ZeroMemory(&basic, sizeof basic);
        basic.dwOSVersionInfoSize = kBasicRecordSize;
        if (!GetVersionExA(&basic)) {
            return false;
        }
        outVersion.itsPlatformId = basic.dwPlatformId;
        outVersion.itsMajor = basic.dwMajorVersion;
        outVersion.itsMinor = basic.dwMinorVersion;
        outVersion.itsBuildNumber = basic.dwBuildNumber;
        outVersion.itsProductType = 0;
    }
    outVersion.itsIsWindows = true;
    outVersion.itsSystemName = "Windows";
    outVersion.itsIsServerR2 = GetSystemMetrics(kServerR2Metric) != 0;
    return true;
}

char getPlatformPathSeparator() {
    return '\\';
}

void setStandardInputBinary() {
    _setmode(_fileno(stdin), _O_BINARY);
}

bool isReadableByOthers(const std::string&, unsigned&) {
    return false;
}

void protectProcessMemory() {}

bool isCommandLineExact(unsigned& outCodePage) {
    outCodePage = GetACP();
    // UTF-8 as the process's code page holds every character.
    if (outCodePage == CP_UTF8)
        return true;
    const wchar_t* line = GetCommandLineW();
    const int length = lstrlenW(line);
    if (length == 0)
        return true;
    BOOL substituted = FALSE;
    const int bytes =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, line, length, nullptr, 0, nullptr, &substituted);
    return bytes > 0 && !substituted;
}
