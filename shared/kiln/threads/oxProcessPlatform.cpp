// The process's description of the operating system it runs on.
#include "oxProcess.h"

#include "oxStringUtil.h"

std::string oxProcess::getPlatformDescription() {
    return getOSDescription(true, false);
}

std::string oxProcess::getOSDescription(bool inWithVendor, bool inWithBuild) {
    oxPlatformVersion version;
    if (!readPlatformVersion(version))
        return std::string();
    return describeOS(version, inWithVendor, inWithBuild);
}

std::string oxProcess::describeOS(const oxPlatformVersion& inVersion, bool inWithVendor, bool inWithBuild) {
    std::string text;
    if (inVersion.itsIsWindows) {
        if (inWithVendor)
            text = "Microsoft ";
        text += getWindowsName(inVersion.itsPlatformId, inVersion.itsMajor, inVersion.itsMinor,
                               inVersion.itsProductType, inVersion.itsIsServerR2);
    } else {
        text = inVersion.itsSystemName;
    }
    text += " v" + toDecimalString(static_cast<uint32_t>(inVersion.itsMajor)) + "." +
            toDecimalString(static_cast<uint32_t>(inVersion.itsMinor));
    if (inWithBuild) {
        if (inVersion.itsIsWindows)
            text += ", Build " + toDecimalString(static_cast<uint32_t>(inVersion.itsBuildNumber & 0xFFFF));
        else if (!inVersion.itsBuild.empty())
            text += ", Build " + inVersion.itsBuild;
    }
    return text;
}

namespace {
const int workstationProductType = 1;

std::string getNT5Name(unsigned long inMinor, bool inIsServerR2) {
    if (inMinor == 1)
        return "Windows XP";
    if (inMinor == 2)
        return inIsServerR2 ? "Windows Server 2003 R2" : "Windows Server 2003";
    return "Windows 2000";
}

// Versions 6 and up are told apart by the minor number alone.
std::string getNT6Name(unsigned long inMinor, int inProductType) {
    bool isWorkstation = inProductType == workstationProductType;
    switch (inMinor) {
        case 0:
            return isWorkstation ? "Windows Vista" : "Windows Server 2008";
        case 1:
            return isWorkstation ? "Windows 7" : "Windows Server 2008 R2";
        case 2:
            return isWorkstation ? "Windows 8" : "Windows Server 2012";
        case 3:
            return isWorkstation ? "Windows 8.1" : "Windows Server 2012 R2";
        default:
            return "Windows Unsupported";
    }
}
}  // namespace

std::string oxProcess::getWindowsName(unsigned long inPlatformId, unsigned long inMajor,
                                      unsigned long inMinor, int inProductType, bool inIsServerR2) {
    switch (inPlatformId) {
        case 0:
            return "Win32s";
        case 1:
            return (inMajor > 4 || (inMajor == 4 && inMinor > 0)) ? "Windows 98" : "Windows 95";
        case 2:
            if (inMajor < 5)
                return "Windows NT";
            if (inMajor == 5)
                return getNT5Name(inMinor, inIsServerR2);
            return getNT6Name(inMinor, inProductType);
        default:
            return std::string();
    }
}
