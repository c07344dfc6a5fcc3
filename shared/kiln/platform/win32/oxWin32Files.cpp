// Safe replacement of a file's contents, versions of a file, reads that
// never block, creation that never replaces, and the lock shared with
// other processes, on Windows.
#include "oxPlatformFiles.h"
#include "oxWin32.h"

#include <cstdio>
#include <string>

namespace {

const int kTemporaryNameAttempts = 100;
// WriteFile takes a 32-bit count; larger contents go in pieces.
const DWORD kLargestWrite = 1UL << 30;
// The target's name in the temporary name is cut to this, so that a long
// name plus the suffix stays within MAX_PATH more often.
const size_t kLongestNameInTemporary = 64;
// What the new file takes over from the old one. Read-only never arises
// (such a file is refused) and would keep a failed move from cleaning up.
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
const DWORD kRefusedAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE;

// Where the directory part of inPath ends: after its last separator, or
// after the drive of a drive-relative name such as "C:name".
size_t nameStartOf(const std::string& inPath) {
    const size_t separator = inPath.find_last_of("\\/");
    if (separator != std::string::npos) {
        return separator + 1;
    }
    return inPath.size() >= 2 && inPath[1] == ':' ? 2 : 0;
}

// GetFinalPathNameByHandleA answers with a "\\?\" path; the ANSI calls
// below take the plain form.
std::string withoutLongPathPrefix(const std::string& inPath) {
    if (inPath.compare(0, 8, "\\\\?\\UNC\\") == 0) {
        return "\\\\" + inPath.substr(8);
    }
    if (inPath.compare(0, 4, "\\\\?\\") == 0) {
        return inPath.substr(4);
    }
    return inPath;
}

// MoveFileExA would replace a symbolic link itself, so a link is resolved
// to the file it finally names first. A dangling link cannot be resolved
// and fails.
bool findFinalTarget(const std::string& inPath, std::string& outTarget) {
    const DWORD attributes = GetFileAttributesA(inPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        outTarget = inPath;
        return true;
    }
    HANDLE file = CreateFileA(inPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleA(file, buffer, static_cast<DWORD>(sizeof buffer),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= sizeof buffer) {
        return false;
    }
    outTarget = withoutLongPathPrefix(std::string(buffer, length));
    return true;
}

// A new file ".<name>.<process>.<count>.tmp" beside inTarget; CREATE_NEW
// never opens a file someone else made.
HANDLE createTemporaryFile(const std::string& inTarget, std::string& outPath) {
    static volatile LONG theCalls = 0;
    const size_t nameStart = nameStartOf(inTarget);
    const std::string prefix =
        inTarget.substr(0, nameStart) + "." + inTarget.substr(nameStart, kLongestNameInTemporary);
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%lx.%lx.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long>(InterlockedIncrement(&theCalls)));
        outPath = prefix + suffix;
        HANDLE file = CreateFileA(outPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE inFile, const std::string& inBytes) {
    const char* next = inBytes.data();
    size_t left = inBytes.size();
    while (left > 0) {
        const DWORD chunk = left > kLargestWrite ? kLargestWrite : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(inFile, next, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

class oxWin32File {
public:
    explicit oxWin32File(HANDLE inHandle) : itsHandle(inHandle) {}
    ~oxWin32File() {
        if (itsHandle != INVALID_HANDLE_VALUE) {
            CloseHandle(itsHandle);
        }
    }
    oxWin32File(const oxWin32File&) = delete;
    oxWin32File& operator=(const oxWin32File&) = delete;
    HANDLE get() const { return itsHandle; }
    bool isOpen() const { return itsHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE itsHandle;
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

uint64_t combined(DWORD inHigh, DWORD inLow) {
    return (static_cast<uint64_t>(inHigh) << 32) | inLow;
}

bool isMissingError(DWORD inError) {
    return inError == ERROR_FILE_NOT_FOUND || inError == ERROR_PATH_NOT_FOUND;
}

// The version of the open file; false for anything but a plain disk file.
bool readVersion(HANDLE inFile, oxFileVersion& outVersion) {
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(inFile) != FILE_TYPE_DISK || !GetFileInformationByHandle(inFile, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return false;
    }
    outVersion.itsExists = true;
    outVersion.itsVolume = information.dwVolumeSerialNumber;
    outVersion.itsFileNumber = combined(information.nFileIndexHigh, information.nFileIndexLow);
    outVersion.itsSize = combined(information.nFileSizeHigh, information.nFileSizeLow);
    outVersion.itsWriteTime =
        combined(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime);
    outVersion.itsChangeTime =
        combined(information.ftCreationTime.dwHighDateTime, information.ftCreationTime.dwLowDateTime);
    return true;
}

HANDLE openExisting(const std::string& inPath, DWORD inAccess) {
    return CreateFileA(inPath.c_str(), inAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

oxFileAccess accessFailure() {
    return isMissingError(GetLastError()) ? oxFileAccess::missing : oxFileAccess::refused;
}

bool readAll(HANDLE inFile, std::string& outBytes) {
    outBytes.clear();
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(inFile, buffer, sizeof buffer, &count, nullptr)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        outBytes.append(buffer, count);
    }
}

bool setFileSize(HANDLE inFile, uint64_t inSize) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(inSize);
    return SetFilePointerEx(inFile, position, nullptr, FILE_BEGIN) && SetEndOfFile(inFile);
}

// Writes what inSource gives where the file pointer stands.
bool writeSource(HANDLE inFile, const oxContentSource& inSource, uint64_t& outLength) {
    std::string chunk;
    outLength = 0;
    for (bool more = true; more;) {
        chunk.clear();
        more = inSource(chunk);
        if (!writeAll(inFile, chunk))
            return false;
        outLength += chunk.size();
    }
    return true;
}

bool writeFromStart(HANDLE inFile, const oxContentSource& inSource) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    uint64_t length = 0;
    return SetFilePointerEx(inFile, start, nullptr, FILE_BEGIN) && writeSource(inFile, inSource, length) &&
           setFileSize(inFile, length) && FlushFileBuffers(inFile);
}

oxContentSource wholeText(const std::string& inBytes) {
    return [&inBytes](std::string& ioChunk) {
        ioChunk = inBytes;
        return false;
    };
}

// Writes the new contents over the file itself, for where a new file moved over it
// would split its hard links or cannot be made. The old contents are kept
// aside first and put back when the write fails.
bool overwriteInPlace(const std::string& inTarget, const oxContentSource& inSource) {
    oxWin32File file(openExisting(inTarget, GENERIC_READ | GENERIC_WRITE));
    oxFileVersion version;
    std::string old;
    if (!file.isOpen() || !readVersion(file.get(), version) || !readAll(file.get(), old)) {
        return false;
    }
    if (writeFromStart(file.get(), inSource)) {
        return true;
    }
    writeFromStart(file.get(), wholeText(old));
    return false;
}

unsigned linkCountOf(const std::string& inPath) {
    oxWin32File file(openExisting(inPath, 0));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file.isOpen() || !GetFileInformationByHandle(file.get(), &information)) {
        return 1;
    }
    return information.nNumberOfLinks;
}

bool isHexDigits(const std::string& inText) {
    return !inText.empty() && inText.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// ".<name>.<process>.<count>.tmp", as createTemporaryFile names them.
bool isTemporaryNameOf(const std::string& inName, const std::string& inPrefix) {
    const std::string suffix = ".tmp";
    if (inName.size() <= inPrefix.size() + suffix.size() ||
        inName.compare(0, inPrefix.size(), inPrefix) != 0 ||
        inName.compare(inName.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string middle =
        inName.substr(inPrefix.size(), inName.size() - inPrefix.size() - suffix.size());
    const size_t dot = middle.find('.');
    return dot != std::string::npos && isHexDigits(middle.substr(0, dot)) &&
           isHexDigits(middle.substr(dot + 1));
}

}  // namespace

bool replaceFileContents(const std::string& inPath, const std::string& inBytes) {
    return replaceFileContentsFrom(inPath, wholeText(inBytes));
}

bool replaceFileContentsFrom(const std::string& inPath, const oxContentSource& inSource) {
    std::string target;
    if (inPath.empty() || !findFinalTarget(inPath, target) || nameStartOf(target) == target.size()) {
        return false;
    }
    const DWORD oldAttributes = GetFileAttributesA(target.c_str());
    const bool exists = oldAttributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    // Only a plain file is swapped out, and a read-only one is refused, as
    // opening it for writing would be.
    if (exists && (oldAttributes & kRefusedAttributes) != 0) {
        return false;
    }
    // A move would split hard links; the file itself is written then, and
    // also where no new file can be made beside it.
    if (exists && linkCountOf(target) > 1) {
        return overwriteInPlace(target, inSource);
    }
    std::string temporary;
    HANDLE file = createTemporaryFile(target, temporary);
    if (file == INVALID_HANDLE_VALUE) {
        return exists && GetLastError() == ERROR_ACCESS_DENIED && overwriteInPlace(target, inSource);
    }
    uint64_t length = 0;
    const bool filled = writeSource(file, inSource, length) && FlushFileBuffers(file);
    const bool closed = CloseHandle(file) != FALSE;
    bool moved = filled && closed;
    if (moved && exists && (oldAttributes & kKeptAttributes) != 0) {
        moved = SetFileAttributesA(temporary.c_str(), oldAttributes & kKeptAttributes) != FALSE;
    }
    // A rename within one volume: readers see the old file or the new one.
    moved = moved && MoveFileExA(temporary.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!moved) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

oxFileAccess getFileVersion(const std::string& inPath, oxFileVersion& outVersion) {
    outVersion = oxFileVersion();
    oxWin32File file(CreateFileA(inPath.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.isOpen()) {
        return accessFailure();
    }
    return readVersion(file.get(), outVersion) ? oxFileAccess::ok : oxFileAccess::refused;
}

oxFileAccess readFileContents(const std::string& inPath, std::string& outBytes, oxFileVersion& outVersion) {
    oxWin32File file(openExisting(inPath, GENERIC_READ));
    if (!file.isOpen()) {
        return accessFailure();
    }
    oxFileVersion version;
    if (!readVersion(file.get(), version) || !readAll(file.get(), outBytes) ||
        !readVersion(file.get(), outVersion)) {
        return oxFileAccess::refused;
    }
    return oxFileAccess::ok;
}

oxFileAccess createFileIfAbsent(const std::string& inPath, oxFileVersion& outVersion) {
    oxWin32File file(CreateFileA(inPath.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isOpen() || !readVersion(file.get(), outVersion)) {
        return oxFileAccess::refused;
    }
    return oxFileAccess::ok;
}

bool removeFileIfUnchanged(const std::string& inPath, const oxFileVersion& inVersion) {
    oxFileVersion current;
    return inVersion.itsExists && getFileVersion(inPath, current) == oxFileAccess::ok &&
           current == inVersion && DeleteFileA(inPath.c_str()) != FALSE;
}

std::string getLockFileName(const std::string& inPath) {
    return inPath + ".lock";
}

intptr_t acquireFileLock(const std::string& inPath, uint32_t inMilliseconds) {
    HANDLE file = CreateFileA(getLockFileName(inPath).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder the caller may not write: lock the file itself.
        file = openExisting(inPath, GENERIC_READ);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    for (uint32_t waited = 0;; waited += 5) {
        OVERLAPPED start = {};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
            return reinterpret_cast<intptr_t>(file);
        }
        if (waited >= inMilliseconds) {
            CloseHandle(file);
            return -1;
        }
        Sleep(5);
    }
}

void releaseFileLock(intptr_t inToken) {
    if (inToken == -1) {
        return;
    }
    HANDLE file = reinterpret_cast<HANDLE>(inToken);
    OVERLAPPED start = {};
    UnlockFileEx(file, 0, 1, 0, &start);
    CloseHandle(file);
}

void removeStaleTemporaryFiles(const std::string& inPath) {
    std::string target;
    if (inPath.empty() || !findFinalTarget(inPath, target)) {
        return;
    }
    const size_t nameStart = nameStartOf(target);
    const std::string directory = target.substr(0, nameStart);
    const std::string prefix = "." + target.substr(nameStart, kLongestNameInTemporary) + ".";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + prefix + "*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            isTemporaryNameOf(found.cFileName, prefix)) {
            DeleteFileA((directory + found.cFileName).c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
