// Safe replacement of a file's contents, versions of a file, reads that
// never block, creation that never replaces, and the lock shared with
// other processes, on Windows.
#include "oxContentCompare.h"
#include "oxPlatformFiles.h"
#include "oxReplacementFiles.h"
#include "oxWin32.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kTemporaryNameAttempts = 100;
// WriteFile takes a 32-bit count; larger contents go in pieces.
const DWORD kLargestWrite = 1UL << 30;
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

// A new temporary file beside inTarget, with the security inSecurity
// gives (the default where null); CREATE_NEW never opens a file someone
// else made.
HANDLE createTemporaryFile(const std::string& inTarget, SECURITY_ATTRIBUTES* inSecurity,
                           std::string& outPath) {
    static volatile LONG theCalls = 0;
    const size_t nameStart = nameStartOf(inTarget);
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const uint64_t seed =
            (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount() ^
            (static_cast<uint64_t>(InterlockedIncrement(&theCalls)) * 0x9E3779B97F4A7C15ULL);
        outPath = inTarget.substr(0, nameStart) + temporaryNameOf(inTarget.substr(nameStart), seed);
        HANDLE file = CreateFileA(outPath.c_str(), GENERIC_WRITE, 0, inSecurity, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// GetLastError in plain words, for the messages the store shows.
std::string reasonOf(DWORD inError) {
    switch (inError) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
            return "another program holds the file open";
        case ERROR_PATH_NOT_FOUND:
            return "the folder does not exist";
        case ERROR_WRITE_PROTECT:
            return "the disk is write-protected";
        default:
            return "Windows error " + std::to_string(inError);
    }
}

void setReason(std::string* outReason, const std::string& inReason) {
    if (outReason != nullptr)
        *outReason = inReason;
}

bool writeAll(HANDLE inFile, const char* inBytes, size_t inLength) {
    const char* next = inBytes;
    size_t left = inLength;
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

bool writeAll(HANDLE inFile, const std::string& inBytes) {
    return writeAll(inFile, inBytes.data(), inBytes.size());
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
    // Room for the whole file at once: a growing string would hold its old
    // and new room together, twice a large file.
    LARGE_INTEGER size;
    if (GetFileSizeEx(inFile, &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < outBytes.max_size())
        outBytes.reserve(static_cast<size_t>(size.QuadPart) + 1);
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

// Reads up to inLength bytes, fewer only at the end of the file; false
// on a read error.
bool readAtMost(HANDLE inFile, char* outBytes, size_t inLength, size_t& outCount) {
    outCount = 0;
    while (outCount < inLength) {
        DWORD count = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(inLength - outCount, 1u << 30));
        if (!ReadFile(inFile, outBytes + outCount, wanted, &count, nullptr)) {
            return false;
        }
        if (count == 0) {
            break;
        }
        outCount += count;
    }
    return true;
}

bool setFileSize(HANDLE inFile, uint64_t inSize) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(inSize);
    return SetFilePointerEx(inFile, position, nullptr, FILE_BEGIN) && SetEndOfFile(inFile);
}

// Writes what inSource gives where the file pointer stands. A cancelled
// source fails the write, with ERROR_CANCELLED.
bool writeSource(HANDLE inFile, const oxChunkSource& inSource, uint64_t& outLength) {
    oxContentChunk chunk;
    outLength = 0;
    for (oxPiece piece = oxPiece::more; piece == oxPiece::more;) {
        chunk.clear();
        piece = inSource(chunk);
        if (piece == oxPiece::cancelled) {
            SetLastError(ERROR_CANCELLED);
            return false;
        }
        if (!writeAll(inFile, chunk.itsMade.data(), chunk.itsMade.size()) ||
            !writeAll(inFile, chunk.itsBorrowed, chunk.itsBorrowedLength))
            return false;
        outLength += chunk.itsMade.size() + chunk.itsBorrowedLength;
    }
    return true;
}

bool writeFromStart(HANDLE inFile, const oxChunkSource& inSource) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    uint64_t length = 0;
    return SetFilePointerEx(inFile, start, nullptr, FILE_BEGIN) && writeSource(inFile, inSource, length) &&
           setFileSize(inFile, length) && FlushFileBuffers(inFile);
}

oxChunkSource wholeText(const std::string& inBytes) {
    return [&inBytes](oxContentChunk& ioChunk) {
        ioChunk.itsMade = inBytes;
        return oxPiece::last;
    };
}

std::string failureReason() {
    const DWORD error = GetLastError();
    return error == ERROR_CANCELLED ? "interrupted" : reasonOf(error);
}

std::string journalPathOf(const std::string& inTarget) {
    const size_t nameStart = nameStartOf(inTarget);
    return inTarget.substr(0, nameStart) + journalNameOf(inTarget.substr(nameStart));
}

// The journal of a write in place: the old contents on disk beside the
// file until the new ones are, for the next run to put back when this one
// is killed halfway. False only where one could be made and was not; a
// folder that may not be written gets none (outKept false).
bool keepJournal(const std::string& inTarget, const oxFileVersion& inVersion, const std::string& inOld,
                 HANDLE& outJournal, std::string& outReason) {
    const std::string path = journalPathOf(inTarget);
    outJournal = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (outJournal == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_ACCESS_DENIED)
            return true;
        outReason = "its old contents cannot be kept aside in \"" + path + "\": " + reasonOf(GetLastError());
        return false;
    }
    const std::string header =
        makeJournalHeader(journalHeaderFor(inVersion.itsVolume, inVersion.itsFileNumber, inOld));
    if (writeAll(outJournal, header) && writeAll(outJournal, inOld) && FlushFileBuffers(outJournal))
        return true;
    outReason = "its old contents cannot be kept aside in \"" + path + "\": " + reasonOf(GetLastError());
    CloseHandle(outJournal);
    outJournal = INVALID_HANDLE_VALUE;
    DeleteFileA(path.c_str());
    return false;
}

// Made void on disk before it goes, so that a journal whose removal is
// lost never puts old contents back over new ones.
bool commitJournal(HANDLE inJournal, const std::string& inTarget) {
    if (inJournal == INVALID_HANDLE_VALUE)
        return true;
    const bool voided = setFileSize(inJournal, 0) && FlushFileBuffers(inJournal);
    CloseHandle(inJournal);
    if (voided)
        DeleteFileA(journalPathOf(inTarget).c_str());
    return voided;
}

// Writes the new contents over the file itself, for where a new file moved over it
// would split its hard links or cannot be made. The old contents are kept
// aside first, in a journal on disk and in memory, and put back when the
// write fails.
bool overwriteInPlace(const std::string& inTarget, const oxChunkSource& inSource, std::string& outReason) {
    oxWin32File file(openExisting(inTarget, GENERIC_READ | GENERIC_WRITE));
    oxFileVersion version;
    std::string old;
    if (!file.isOpen() || !readVersion(file.get(), version) || !readAll(file.get(), old)) {
        outReason = reasonOf(GetLastError());
        return false;
    }
    HANDLE journal = INVALID_HANDLE_VALUE;
    if (!keepJournal(inTarget, version, old, journal, outReason))
        return false;
    if (writeFromStart(file.get(), inSource) && commitJournal(journal, inTarget))
        return true;
    outReason = failureReason();
    if (writeFromStart(file.get(), wholeText(old))) {
        if (journal != INVALID_HANDLE_VALUE) {
            CloseHandle(journal);
            DeleteFileA(journalPathOf(inTarget).c_str());
        }
        return false;
    }
    const std::string kept = journal != INVALID_HANDLE_VALUE
                                 ? "its old contents are kept in \"" + journalPathOf(inTarget) + "\""
                                 : "no copy of its old contents could be kept on disk";
    outReason = "the write failed (" + outReason + ") and putting back the old contents failed too (" +
                reasonOf(GetLastError()) + "): \"" + inTarget + "\" may be torn; " + kept;
    if (journal != INVALID_HANDLE_VALUE)
        CloseHandle(journal);
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

// The ANSI names the callers hold, for the wide calls; the command line
// was refused when a name of it did not fit the code page exactly.
std::wstring wideOf(const std::string& inText) {
    if (inText.empty())
        return std::wstring();
    const int length =
        MultiByteToWideChar(CP_ACP, 0, inText.data(), static_cast<int>(inText.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, inText.data(), static_cast<int>(inText.size()), &wide[0], length);
    return wide;
}

// For messages only.
std::string narrowOf(const std::wstring& inText) {
    if (inText.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_ACP, 0, inText.data(), static_cast<int>(inText.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, inText.data(), static_cast<int>(inText.size()), &narrow[0], length,
                            nullptr, nullptr);
    return narrow;
}

std::wstring fullPathOf(const std::wstring& inPath) {
    wchar_t buffer[4 * MAX_PATH];
    const DWORD size = static_cast<DWORD>(sizeof buffer / sizeof buffer[0]);
    const DWORD length = GetFullPathNameW(inPath.c_str(), size, buffer, nullptr);
    return length > 0 && length < size ? std::wstring(buffer, length) : inPath;
}

std::wstring namePartOf(const std::wstring& inPath) {
    const size_t separator = inPath.find_last_of(L"\\/");
    return separator == std::wstring::npos ? inPath : inPath.substr(separator + 1);
}

// The file's own name as the system resolves inPath: a short name made
// long, trailing dots and spaces dropped (as opening the file drops them),
// the real case. Aliases of one file give one name.
std::wstring finalNamePartOf(const std::wstring& inPath) {
    oxWin32File file(CreateFileW(inPath.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    wchar_t buffer[4 * MAX_PATH];
    const DWORD size = static_cast<DWORD>(sizeof buffer / sizeof buffer[0]);
    if (file.isOpen()) {
        const DWORD length =
            GetFinalPathNameByHandleW(file.get(), buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length > 0 && length < size)
            return namePartOf(std::wstring(buffer, length));
    }
    // Not there yet: no short name can name it, but the dots and spaces go.
    return namePartOf(fullPathOf(inPath));
}

// "<final name>.lock" beside the file inPath finally names, in its folder
// as given.
std::wstring lockPathOf(const std::string& inPath) {
    std::string target;
    if (!findFinalTarget(inPath, target))
        target = inPath;
    const std::wstring wide = wideOf(target);
    const std::wstring folder = wide.substr(0, wide.size() - namePartOf(wide).size());
    return folder + finalNamePartOf(wide) + L".lock";
}

// The security a new file is made with, held for the call that makes it:
// none given (the folder's inherited default), another file's DACL, or the
// DACL of a file that is to hold a password.
class oxNewFileSecurity {
public:
    oxNewFileSecurity() = default;
    ~oxNewFileSecurity() {
        if (itsOwnedDescriptor != nullptr)
            LocalFree(itsOwnedDescriptor);
    }
    oxNewFileSecurity(const oxNewFileSecurity&) = delete;
    oxNewFileSecurity& operator=(const oxNewFileSecurity&) = delete;

    // The DACL of the file at inPath, protected where that one is, so that
    // its replacement admits exactly whom it admitted. False when it
    // cannot be read; the default stays then.
    bool copyFrom(const std::string& inPath) {
        DWORD needed = 0;
        GetFileSecurityA(inPath.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        if (needed == 0)
            return false;
        itsCopiedDescriptor.assign(needed / sizeof(DWORD_PTR) + 1, 0);
        if (!GetFileSecurityA(inPath.c_str(), DACL_SECURITY_INFORMATION, itsCopiedDescriptor.data(), needed,
                              &needed))
            return false;
        use(itsCopiedDescriptor.data());
        return true;
    }

    // Full control for the user running this, SYSTEM and Administrators,
    // nothing inherited: the Windows form of mode 0600. False when the
    // user cannot be named; the default stays then.
    bool restrictToOwner() {
        const std::wstring user = currentUserSid();
        const std::wstring text = L"D:P(A;;FA;;;" + user + L")(A;;FA;;;SY)(A;;FA;;;BA)";
        if (user.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                text.c_str(), SDDL_REVISION_1, &itsOwnedDescriptor, nullptr))
            return false;
        use(itsOwnedDescriptor);
        return true;
    }

    SECURITY_ATTRIBUTES* get() {
        return itsAttributes.lpSecurityDescriptor != nullptr ? &itsAttributes : nullptr;
    }

private:
    static std::wstring currentUserSid() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return std::wstring();
        oxWin32File held(token);
        DWORD needed = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
        std::vector<DWORD_PTR> buffer(needed / sizeof(DWORD_PTR) + 1, 0);
        LPWSTR text = nullptr;
        if (needed == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
            return std::wstring();
        const std::wstring sid(text);
        LocalFree(text);
        return sid;
    }

    void use(PSECURITY_DESCRIPTOR inDescriptor) {
        itsAttributes.nLength = sizeof itsAttributes;
        itsAttributes.lpSecurityDescriptor = inDescriptor;
        itsAttributes.bInheritHandle = FALSE;
    }

    std::vector<DWORD_PTR> itsCopiedDescriptor;
    PSECURITY_DESCRIPTOR itsOwnedDescriptor = nullptr;
    SECURITY_ATTRIBUTES itsAttributes = {};
};

// Another program's read may hold the file open at the moment of the swap,
// which Windows refuses; it is tried again for so long.
const DWORD kSwapRetryMilliseconds = 2000;
const DWORD kSwapPollMilliseconds = 10;

bool isPassingRefusal(DWORD inError) {
    return inError == ERROR_SHARING_VIOLATION || inError == ERROR_LOCK_VIOLATION ||
           inError == ERROR_ACCESS_DENIED || inError == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// One try at putting the new file in the old one's place. ReplaceFileW
// keeps what the old file is beyond its contents (security descriptor,
// attributes, streams, creation time, short name); a rename stands in
// where there is no old file (any more), or where the file system offers
// no replacement.
bool swapInOnce(const std::wstring& inTemporary, const std::wstring& inTarget, bool inExists) {
    const DWORD kRenameFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!inExists)
        return MoveFileExW(inTemporary.c_str(), inTarget.c_str(), kRenameFlags) != FALSE;
    // A handle that does not share deletion refuses any replacement. Asked
    // first, as Wine's ReplaceFileW leaves a file of its own behind when
    // it meets one.
    HANDLE probe = CreateFileW(inTarget.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        return false;
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    if (ReplaceFileW(inTarget.c_str(), inTemporary.c_str(), nullptr, 0, nullptr, nullptr))
        return true;
    switch (GetLastError()) {
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:  // the old file is gone; the new one waits under its own name
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_CALL_NOT_IMPLEMENTED:
            return MoveFileExW(inTemporary.c_str(), inTarget.c_str(), kRenameFlags) != FALSE;
        default:
            return false;
    }
}

// The swap, tried again while another program's open handle may be what
// refuses it; the reason names the wait when it never went.
bool swapIn(const std::string& inTemporary, const std::string& inTarget, bool inExists,
            std::string& outReason) {
    // Full paths: Wine's ReplaceFileW finds no folder in a bare file name.
    const std::wstring temporary = fullPathOf(wideOf(inTemporary));
    const std::wstring target = fullPathOf(wideOf(inTarget));
    for (DWORD waited = 0;; waited += kSwapPollMilliseconds) {
        if (swapInOnce(temporary, target, inExists))
            return true;
        const DWORD error = GetLastError();
        if (!isPassingRefusal(error)) {
            outReason = reasonOf(error);
            return false;
        }
        if (waited >= kSwapRetryMilliseconds) {
            const std::string which = error == ERROR_ACCESS_DENIED
                                          ? "permission denied, or another program holds the file open"
                                          : reasonOf(error);
            outReason =
                which + " (still after " + std::to_string(kSwapRetryMilliseconds / 1000) + " seconds)";
            return false;
        }
        Sleep(kSwapPollMilliseconds);
    }
}

}  // namespace

bool replaceFileContents(const std::string& inPath, const std::string& inBytes) {
    return replaceFileContentsInChunks(inPath, wholeText(inBytes));
}

bool replaceFileContentsFrom(const std::string& inPath, const oxContentSource& inSource,
                             std::string* outReason) {
    return replaceFileContentsInChunks(
        inPath, [&inSource](oxContentChunk& ioChunk) { return inSource(ioChunk.itsMade); }, outReason);
}

bool replaceFileContentsInChunks(const std::string& inPath, const oxChunkSource& inSource,
                                 std::string* outReason) {
    std::string target;
    if (inPath.empty() || !findFinalTarget(inPath, target) || nameStartOf(target) == target.size()) {
        setReason(outReason, "its name cannot be followed to a file");
        return false;
    }
    const DWORD oldAttributes = GetFileAttributesA(target.c_str());
    const bool exists = oldAttributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        setReason(outReason, reasonOf(GetLastError()));
        return false;
    }
    // Only a plain file is swapped out, and a read-only one is refused, as
    // opening it for writing would be.
    if (exists && (oldAttributes & kRefusedAttributes) != 0) {
        setReason(outReason, (oldAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? "it is read-only"
                                                                            : "it is not a regular file");
        return false;
    }
    std::string reason;
    // A move would split hard links; the file itself is written then, and
    // also where no new file can be made beside it.
    if (exists && linkCountOf(target) > 1) {
        const bool written = overwriteInPlace(target, inSource, reason);
        setReason(outReason, reason);
        return written;
    }
    // The new file admits whom the old one did from the start: it holds the
    // new contents before it takes the old one's place.
    oxNewFileSecurity security;
    if (exists)
        security.copyFrom(target);
    std::string temporary;
    HANDLE file = createTemporaryFile(target, security.get(), temporary);
    if (file == INVALID_HANDLE_VALUE) {
        const bool written =
            exists && GetLastError() == ERROR_ACCESS_DENIED && overwriteInPlace(target, inSource, reason);
        setReason(outReason, reason.empty() ? reasonOf(GetLastError()) : reason);
        return written;
    }
    uint64_t length = 0;
    bool filled = writeSource(file, inSource, length) && FlushFileBuffers(file);
    if (!filled)
        reason = failureReason();
    const bool closed = CloseHandle(file) != FALSE;
    bool moved = filled && closed;
    if (moved && exists && (oldAttributes & kKeptAttributes) != 0) {
        moved = SetFileAttributesA(temporary.c_str(), oldAttributes & kKeptAttributes) != FALSE;
        if (!moved)
            reason = reasonOf(GetLastError());
    }
    // Within one volume: readers see the old file or the new one.
    moved = moved && swapIn(temporary, target, exists, reason);
    if (!moved) {
        if (reason.empty())
            reason = reasonOf(GetLastError());
        DeleteFileA(temporary.c_str());
        setReason(outReason, reason);
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

oxFileAccess compareFileContents(const std::string& inPath, const oxChunkSource& inSource, bool& outSame) {
    outSame = false;
    oxWin32File file(openExisting(inPath, GENERIC_READ));
    if (!file.isOpen()) {
        return accessFailure();
    }
    const auto read = [&](char* outBytes, size_t inLength, size_t& outCount) {
        return readAtMost(file.get(), outBytes, inLength, outCount);
    };
    return compareContentsWithReads(inSource, read, outSame);
}

oxFileAccess createFileIfAbsent(const std::string& inPath, oxFileVersion& outVersion) {
    // It is to hold a password; the administrator may widen it later, and
    // the writes keep what they find.
    oxNewFileSecurity security;
    security.restrictToOwner();
    oxWin32File file(CreateFileA(inPath.c_str(), GENERIC_WRITE, kShareAll, security.get(), CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isOpen() || !readVersion(file.get(), outVersion)) {
        return oxFileAccess::refused;
    }
    return oxFileAccess::ok;
}

bool canCreateFile(const std::string& inPath) {
    // Made and gone again at once: the system removes it when the handle
    // closes, even if this process dies first.
    HANDLE file = CreateFileA(inPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool removeFileIfUnchanged(const std::string& inPath, const oxFileVersion& inVersion) {
    oxFileVersion current;
    return inVersion.itsExists && getFileVersion(inPath, current) == oxFileAccess::ok &&
           current == inVersion && DeleteFileA(inPath.c_str()) != FALSE;
}

std::string getLockFileName(const std::string& inPath) {
    return narrowOf(lockPathOf(inPath));
}

intptr_t acquireFileLock(const std::string& inPath, uint32_t inMilliseconds,
                         const std::function<bool()>& inStopRequested, std::string* outReason) {
    const std::wstring path = lockPathOf(inPath);
    const std::string name = narrowOf(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder the caller may not write: lock the file itself.
        file = openExisting(inPath, GENERIC_READ);
    }
    if (file == INVALID_HANDLE_VALUE) {
        setReason(outReason, "the lock file \"" + name + "\" cannot be opened: " + reasonOf(GetLastError()));
        return -1;
    }
    for (uint32_t waited = 0;; waited += 5) {
        OVERLAPPED start = {};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
            return reinterpret_cast<intptr_t>(file);
        }
        if (inStopRequested && inStopRequested()) {
            setReason(outReason, "interrupted");
        } else if (waited >= inMilliseconds) {
            setReason(outReason, "another writer has held the lock \"" + name + "\" for " +
                                     std::to_string(inMilliseconds / 1000) + " seconds");
        } else {
            Sleep(5);
            continue;
        }
        CloseHandle(file);
        return -1;
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
    const std::string name = target.substr(nameStart);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "." + name.substr(0, 64) + ".*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            isTemporaryNameOf(found.cFileName, name)) {
            DeleteFileA((directory + found.cFileName).c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

bool hasInterruptedWrite(const std::string& inPath) {
    std::string target;
    return findFinalTarget(inPath, target) &&
           GetFileAttributesA(journalPathOf(target).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool restoreInterruptedWrite(const std::string& inPath, std::string& outReason) {
    std::string target;
    if (!findFinalTarget(inPath, target))
        return true;
    const std::string path = journalPathOf(target);
    const auto torn = [&](const std::string& inWhat) {
        outReason = "\"" + target + "\" may be torn: a write in place did not finish, and " + inWhat + ": " +
                    reasonOf(GetLastError());
        return false;
    };
    std::string bytes;
    {
        oxWin32File journal(openExisting(path, GENERIC_READ));
        if (!journal.isOpen())
            return isMissingError(GetLastError());
        if (!readAll(journal.get(), bytes))
            return torn("its old contents in \"" + path + "\" cannot be read");
    }
    oxJournalHeader header;
    size_t start = 0;
    if (parseJournal(bytes, header, start)) {
        oxWin32File file(openExisting(target, GENERIC_READ | GENERIC_WRITE));
        oxFileVersion version;
        const bool sameFile = file.isOpen() && readVersion(file.get(), version) &&
                              version.itsVolume == header.itsVolume &&
                              version.itsFileNumber == header.itsFileNumber;
        if ((!file.isOpen() && !isMissingError(GetLastError())) ||
            (sameFile && !writeFromStart(file.get(), wholeText(bytes.substr(start)))))
            return torn("putting back its old contents from \"" + path + "\" failed");
    }
    // Put back, cut short before the file was touched, or made for a file
    // that is no longer there.
    DeleteFileA(path.c_str());
    return true;
}

namespace {

// The old file's DACL onto its copy (CopyFileA gives the copy the folder's
// inherited one), protected from inheritance where the old one was.
bool copyAccessList(const std::string& inFrom, const std::string& inTo) {
    DWORD needed = 0;
    GetFileSecurityA(inFrom.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    std::string descriptor(needed, '\0');
    PSECURITY_DESCRIPTOR security = &descriptor[0];
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetFileSecurityA(inFrom.c_str(), DACL_SECURITY_INFORMATION, security, needed, &needed) ||
        !GetSecurityDescriptorControl(security, &control, &revision))
        return false;
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION : 0);
    return SetFileSecurityA(inTo.c_str(), which, security) != FALSE;
}

}  // namespace

bool keepBackupCopy(const std::string& inPath, const std::string& inStamp, std::string& outBackupName,
                    std::string& outReason) {
    outBackupName.clear();
    std::string target;
    if (inPath.empty() || !findFinalTarget(inPath, target)) {
        outReason = "no backup can be made: its name cannot be followed to a file";
        return false;
    }
    if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (isMissingError(GetLastError()))
            return true;
        outReason = "no backup can be made: " + reasonOf(GetLastError());
        return false;
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::string path = backupNameOf(target, inStamp, attempt);
        // Contents, attributes and times; never over an existing name.
        if (!CopyFileA(target.c_str(), path.c_str(), TRUE)) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            outReason = "no backup could be made beside it (" + reasonOf(GetLastError()) + ")";
            return false;
        }
        if (!copyAccessList(target, path)) {
            outReason = "no backup could be made beside it (its access list cannot be kept: " +
                        reasonOf(GetLastError()) + ")";
            DeleteFileA(path.c_str());
            return false;
        }
        outBackupName = path;
        return true;
    }
    outReason = "no backup could be made beside it (every name for it is taken)";
    return false;
}
