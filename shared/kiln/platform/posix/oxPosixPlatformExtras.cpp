// The system version, path separator, standard input's mode, file
// permissions and the process's memory protection on POSIX.
#include "oxPlatformExtras.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <climits>

namespace {

bool isDigit(char inChar) {
    return inChar >= '0' && inChar <= '9';
}

// Reads the digits at inText into outNumber, stopping at the largest value
// rather than wrapping; returns the first character after them.
const char* readNumber(const char* inText, unsigned long& outNumber) {
    outNumber = 0;
    for (; isDigit(*inText); ++inText) {
        const unsigned long digit = static_cast<unsigned long>(*inText - '0');
        outNumber = outNumber > (ULONG_MAX - digit) / 10 ? ULONG_MAX : outNumber * 10 + digit;
    }
    return inText;
}

}  // namespace

bool parseReleaseText(const char* inRelease, oxPlatformVersion& outVersion) {
    outVersion.itsMajor = 0;
    outVersion.itsMinor = 0;
    outVersion.itsBuild.clear();
    if (inRelease == nullptr) {
        return false;
    }
    if (!isDigit(*inRelease)) {
        outVersion.itsBuild = inRelease;
        return false;
    }
    const char* rest = readNumber(inRelease, outVersion.itsMajor);
    if (rest[0] == '.' && isDigit(rest[1])) {
        rest = readNumber(rest + 1, outVersion.itsMinor);
        if (*rest == '.') {
            ++rest;
        }
    }
    outVersion.itsBuild = rest;
    return true;
}

bool readPlatformVersion(oxPlatformVersion& outVersion) {
    outVersion = oxPlatformVersion();
    struct utsname names;
    if (uname(&names) != 0) {
        return false;
    }
    outVersion.itsSystemName = names.sysname;
    parseReleaseText(names.release, outVersion);
    return true;
}

char getPlatformPathSeparator() {
    return '/';
}

void setStandardInputBinary() {}

bool isReadableByOthers(const std::string& inPath, unsigned& outMode) {
    struct stat status;
    if (stat(inPath.c_str(), &status) != 0 || (status.st_mode & (S_IRGRP | S_IROTH)) == 0)
        return false;
    outMode = static_cast<unsigned>(status.st_mode & 07777);
    return true;
}

bool isCommandLineExact(unsigned& outCodePage) {
    outCodePage = 0;
    return true;
}

void protectProcessMemory() {
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#if defined(__linux__)
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}
