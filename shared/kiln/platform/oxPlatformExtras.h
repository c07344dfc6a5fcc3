// What the framework needs of the platform beyond plain Win32 calls,
// with one implementation per platform in this folder.
#ifndef OX_PLATFORM_EXTRAS_H
#define OX_PLATFORM_EXTRAS_H

#include <string>

// The running system's version, read once per call.
//   itsIsWindows: the numbers are Windows version numbers and the naming
//   table applies; otherwise itsSystemName names the system (uname) and
//   itsBuild is the rest of its release text.
struct oxPlatformVersion {
    bool itsIsWindows = false;
    unsigned long itsPlatformId = 0;
    unsigned long itsMajor = 0;
    unsigned long itsMinor = 0;
    unsigned long itsBuildNumber = 0;
    int itsProductType = 0;
    bool itsIsServerR2 = false;
    std::string itsSystemName;
    std::string itsBuild;
};

// GetVersionExA with the extended record, then with the basic one (product
// type 0); false when both fail. Elsewhere: uname (false when it fails),
// with the numbers taken from its release text by parseReleaseText.
// outVersion is reset first.
bool readPlatformVersion(oxPlatformVersion& outVersion);

// POSIX builds only. Splits a uname release text: itsMajor and itsMinor
// from its leading "major.minor", itsBuild the rest after "major.minor."
// (or after "major.minor", or after "major" when there is no minor):
// "6.1.0-18-amd64" gives 6, 1 and "0-18-amd64". A number too large for
// itsMajor or itsMinor stops at the largest value. Touches only those
// three fields. False when the text is null or does not start with a
// digit: numbers 0 and itsBuild the whole text (empty for null).
bool parseReleaseText(const char* inRelease, oxPlatformVersion& outVersion);

// The platform's own path separator: '\\' on Windows, '/' elsewhere.
char getPlatformPathSeparator();

#endif
