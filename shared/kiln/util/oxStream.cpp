#include "oxStream.h"

#include <cctype>
#include <vector>

#include "oxRawAssert.h"
#include "oxWin32.h"

namespace {

struct oxProgramFile {
    std::string itsPath;
    std::string itsDirectory;
    std::string itsFileName;
};

// The module path; a buffer the system fills completely may hold a
// truncated path, so it is read again into a larger one.
std::string readModuleFileName() {
    const DWORD theLongestPath = 32768;
    for (DWORD size = MAX_PATH; size <= theLongestPath; size *= 2) {
        std::vector<char> buffer(size, '\0');
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0)
            return std::string();
        if (length < size)
            return std::string(buffer.data(), length);
    }
    return std::string();
}

const oxProgramFile& programFile() {
    static const oxProgramFile theProgramFile = [] {
        oxProgramFile file;
        file.itsPath = readModuleFileName();
        splitPath(file.itsPath, file.itsDirectory, file.itsFileName);
        return file;
    }();
    return theProgramFile;
}

}  // namespace

bool isAbsolutePath(const std::string& inPath) {
    if (inPath.empty())
        return false;
    if (isPathSeparator(inPath[0]))
        return true;
    if (inPath.size() <= 2)
        return false;
    // Through unsigned char: a negative char is undefined for isalpha.
    return std::isalpha(static_cast<unsigned char>(inPath[0])) && inPath[1] == ':' &&
           isPathSeparator(inPath[2]);
}

std::string getCurrentDirectory() {
    std::vector<char> buffer(MAX_PATH, '\0');
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    // A longer directory reports the size it needs, zero included.
    if (length >= buffer.size()) {
        buffer.assign(length, '\0');
        length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length >= buffer.size()) {
        oxAssert(false);
        return std::string();
    }
    return std::string(buffer.data(), length);
}

std::string joinPathWith(const std::string& inDir, const std::string& inName, char inSeparator) {
    if (inDir.empty())
        return inName;
    if (inName.empty())
        return inDir;
    if (isPathSeparator(inDir.back()) || isPathSeparator(inName.front()))
        return inDir + inName;
    return inDir + inSeparator + inName;
}

std::string joinPath(const std::string& inDir, const std::string& inName) {
    return joinPathWith(inDir, inName, getPlatformPathSeparator());
}

std::string makeAbsolutePath(const std::string& inPath) {
    if (isAbsolutePath(inPath))
        return inPath;
    return joinPath(getCurrentDirectory(), inPath);
}

const std::string& getProgramPath() {
    return programFile().itsPath;
}

const std::string& getProgramDirectory() {
    return programFile().itsDirectory;
}

const std::string& getProgramFileName() {
    return programFile().itsFileName;
}
