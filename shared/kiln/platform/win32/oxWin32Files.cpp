// Safe replacement of a file's contents on Windows.
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
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
const DWORD kRefusedAttributes =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE;

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
    const std::string prefix = inTarget.substr(0, nameStart) + "." +
                               inTarget.substr(nameStart, kLongestNameInTemporary);
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

}  // namespace

bool replaceFileContents(const std::string& inPath, const std::string& inBytes) {
    std::string target;
    if (inPath.empty() || !findFinalTarget(inPath, target) ||
        nameStartOf(target) == target.size()) {
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
    std::string temporary;
    HANDLE file = createTemporaryFile(target, temporary);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool filled = writeAll(file, inBytes) && FlushFileBuffers(file);
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
