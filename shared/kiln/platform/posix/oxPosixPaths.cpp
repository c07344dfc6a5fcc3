// The current directory and the program's own path on POSIX (Linux).
#include "oxPosixWin32.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Paths have no fixed limit here, so the buffer grows until the text fits;
// the cap only stops a runaway loop.
const size_t kLongestPath = 1u << 20;

bool readCurrentDirectory(std::string& outPath) {
    for (size_t size = 256; size <= kLongestPath; size *= 2) {
        std::vector<char> buffer(size);
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            outPath = buffer.data();
            return true;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
    return false;
}

bool readOwnPath(std::string& outPath) {
    for (size_t size = 256; size <= kLongestPath; size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return false;
        }
        // readlink does not say when it cut the text: a full buffer may have.
        if (static_cast<size_t>(length) < buffer.size()) {
            outPath.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
    }
    return false;
}

}  // namespace

DWORD GetCurrentDirectoryA(DWORD inBufferLength, LPSTR outBuffer) {
    std::string path;
    if (!readCurrentDirectory(path)) {
        return 0;
    }
    const size_t available = outBuffer == nullptr ? 0 : inBufferLength;
    if (path.size() + 1 > available) {
        return static_cast<DWORD>(path.size() + 1);
    }
    std::memcpy(outBuffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD GetModuleFileNameA(HMODULE inModule, LPSTR outFileName, DWORD inSize) {
    if (inModule != nullptr || outFileName == nullptr || inSize == 0) {
        return 0;
    }
    std::string path;
    if (!readOwnPath(path)) {
        return 0;
    }
    if (path.size() < inSize) {
        std::memcpy(outFileName, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(outFileName, path.data(), inSize - 1);
    outFileName[inSize - 1] = '\0';
    return inSize;
}
