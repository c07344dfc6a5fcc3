// A library for LD_PRELOAD that counts the file calls a program makes and
// makes chosen ones fail, or ends the process at one, so that a test can
// prove what the program does on every failure of every call without
// knowing its internals. Linux and glibc only.
//
// Only calls on names under one directory, and on descriptors opened on
// such names, count and fail: the C runtime's own use of the standard
// streams, /proc, the locale and the time zone never does.
//
// Read from the environment once, at the first call (the program itself
// reads none of them):
//   OX_FAULT_DIR     the directory whose files count (absolute); without it
//                    every call passes through uncounted
//   OX_FAULT         faults, "operation:N:kind" separated by commas: the Nth
//                    counted call of that operation (from 1) fails with
//                    kind eio, enospc or eintr, reads or writes fewer bytes
//                    (short), ends the process with SIGKILL (kill), or gets
//                    SIGTERM, as from a stopping system, and then goes on
//                    (term)
//   OX_FAULT_REPORT  a file that receives, at exit and just before a kill:
//                    "op NAME CALLS SHORTABLE INTERRUPTIBLE CHANGES BEFORE"
//                    for every operation (the three flags of its line in
//                    the table below, 0 or 1; BEFORE: its calls when the
//                    first fault was reached, that call included), then
//                    "fault NAME N KIND reached|unreached" for every fault
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace {

// One line per operation: its name, whether a short count applies (reads
// and writes that may move fewer bytes than asked), whether Linux may end
// it with EINTR, so that a program has to retry it (close excepted: there
// EINTR means closed), and whether it may change what is on disk (opens
// count, as they may create; a flush does not, since a killed process's
// writes stay in the page cache). Each interposer below names its operation;
// aliases of one call (the 64-bit and fortified entry points) share one.
#define OX_FAULT_OPERATIONS(X)              \
    X(open, false, true, true)              \
    X(openat, false, true, true)            \
    X(creat, false, true, true)             \
    X(mkstemp, false, false, true)          \
    X(fopen, false, true, true)             \
    X(opendir, false, false, false)         \
    X(read, true, true, false)              \
    X(pread, true, true, false)             \
    X(write, true, true, true)              \
    X(pwrite, true, true, true)             \
    X(lseek, false, false, false)           \
    X(fsync, false, true, false)            \
    X(fdatasync, false, true, false)        \
    X(sync_file_range, false, false, false) \
    X(close, false, true, false)            \
    X(flock, false, true, false)            \
    X(fcntl, false, true, false)            \
    X(stat, false, false, false)            \
    X(lstat, false, false, false)           \
    X(fstat, false, false, false)           \
    X(fstatat, false, false, false)         \
    X(statx, false, false, false)           \
    X(access, false, false, false)          \
    X(faccessat, false, false, false)       \
    X(readlink, false, false, false)        \
    X(readlinkat, false, false, false)      \
    X(rename, false, false, true)           \
    X(renameat, false, false, true)         \
    X(renameat2, false, false, true)        \
    X(link, false, false, true)             \
    X(linkat, false, false, true)           \
    X(unlink, false, false, true)           \
    X(unlinkat, false, false, true)         \
    X(mkdir, false, false, true)            \
    X(mkdirat, false, false, true)          \
    X(ftruncate, false, true, true)         \
    X(fallocate, false, true, true)         \
    X(fchmod, false, false, true)           \
    X(fchmodat, false, false, true)         \
    X(chmod, false, false, true)            \
    X(fchown, false, false, true)           \
    X(fchownat, false, false, true)         \
    X(chown, false, false, true)            \
    X(lchown, false, false, true)           \
    X(futimens, false, false, true)         \
    X(utimensat, false, false, true)        \
    X(fgetxattr, false, false, false)       \
    X(fsetxattr, false, false, true)        \
    X(flistxattr, false, false, false)      \
    X(fremovexattr, false, false, true)     \
    X(getxattr, false, false, false)        \
    X(lgetxattr, false, false, false)       \
    X(setxattr, false, false, true)         \
    X(lsetxattr, false, false, true)        \
    X(listxattr, false, false, false)       \
    X(llistxattr, false, false, false)      \
    X(removexattr, false, false, true)      \
    X(lremovexattr, false, false, true)     \
    X(getdents64, true, false, false)       \
    X(readdir, false, false, false)

enum class oxOperation : int {
#define OX_ENUMERATE(name, shortable, interruptible, changes) name,
    OX_FAULT_OPERATIONS(OX_ENUMERATE)
#undef OX_ENUMERATE
};

struct oxOperationInfo {
    const char* itsName;
    bool itsShortable;
    bool itsInterruptible;
    bool itsChanges;
};

const oxOperationInfo theOperations[] = {
#define OX_DESCRIBE(name, shortable, interruptible, changes) {#name, shortable, interruptible, changes},
    OX_FAULT_OPERATIONS(OX_DESCRIBE)
#undef OX_DESCRIBE
};
const int kOperationCount = static_cast<int>(sizeof theOperations / sizeof theOperations[0]);

enum class oxKind { eio, enospc, eintr, shortCount, kill, term };
const char* const theKindNames[] = {"eio", "enospc", "eintr", "short", "kill", "term"};
const int kKindCount = static_cast<int>(sizeof theKindNames / sizeof theKindNames[0]);

struct oxFault {
    int itsOperation;
    uint64_t itsCall;
    oxKind itsKind;
    bool itsReached;
};

const int kMostFaults = 8;
// Descriptors above this are never tracked; the programs under test hold a
// handful.
const int kMostTrackedDescriptors = 65536;

// All set once by initialise() before any call is counted, then only read,
// except the counters and flags, which are atomic.
char theDirectory[PATH_MAX];
size_t theDirectoryLength = 0;
char theReportPath[PATH_MAX];
oxFault theFaults[kMostFaults];
int theFaultCount = 0;
uint64_t theCalls[sizeof theOperations / sizeof theOperations[0]];
// theCalls as they stood when the first fault was reached: what came after
// is what the program did about it.
uint64_t theCallsAtFault[sizeof theOperations / sizeof theOperations[0]];
bool theFaultSeen = false;
unsigned char theTracked[kMostTrackedDescriptors];
int theInitialisation = 0;  // 0 not begun, 1 under way, 2 done

// Calls the C runtime makes from inside an interposed call (should it ever
// use the exported names) belong to that call and are not counted again.
__attribute__((tls_model("initial-exec"))) thread_local int theDepth = 0;

struct oxDepthGuard {
    oxDepthGuard() { ++theDepth; }
    ~oxDepthGuard() { --theDepth; }
    oxDepthGuard(const oxDepthGuard&) = delete;
    oxDepthGuard& operator=(const oxDepthGuard&) = delete;
};

// The next definition of a function, found once; null when there is none.
template <typename Function>
Function realOf(const char* inName, Function& ioSlot) {
    Function function = __atomic_load_n(&ioSlot, __ATOMIC_ACQUIRE);
    if (function == nullptr) {
        function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, inName));
        __atomic_store_n(&ioSlot, function, __ATOMIC_RELEASE);
    }
    return function;
}

// The runtime's own calls for the library's own work: never counted.
#define OX_REAL(function) realOf(#function, theReal_##function)
decltype(&::open) theReal_open = nullptr;
decltype(&::write) theReal_write = nullptr;
decltype(&::close) theReal_close = nullptr;
decltype(&::readlink) theReal_readlink = nullptr;

int operationNamed(const char* inName, size_t inLength) {
    for (int i = 0; i < kOperationCount; ++i) {
        if (strlen(theOperations[i].itsName) == inLength &&
            strncmp(theOperations[i].itsName, inName, inLength) == 0)
            return i;
    }
    return -1;
}

// "operation:N:kind"; false for anything else.
bool parseFault(const char* inText, size_t inLength, oxFault& outFault) {
    const char* end = inText + inLength;
    const char* colon = static_cast<const char*>(memchr(inText, ':', inLength));
    if (colon == nullptr)
        return false;
    outFault.itsOperation = operationNamed(inText, static_cast<size_t>(colon - inText));
    char* after = nullptr;
    outFault.itsCall = strtoull(colon + 1, &after, 10);
    if (outFault.itsOperation < 0 || outFault.itsCall == 0 || after >= end || *after != ':')
        return false;
    const char* kind = after + 1;
    const size_t kindLength = static_cast<size_t>(end - kind);
    for (int k = 0; k < kKindCount; ++k) {
        if (strlen(theKindNames[k]) == kindLength && strncmp(theKindNames[k], kind, kindLength) == 0) {
            outFault.itsKind = static_cast<oxKind>(k);
            outFault.itsReached = false;
            return true;
        }
    }
    return false;
}

// Removes ".", ".." and repeated slashes from an absolute path, in place;
// names are compared as written, links are not followed.
void normalise(char* ioPath) {
    char* out = ioPath;
    const char* in = ioPath;
    while (*in != '\0') {
        while (*in == '/')
            ++in;
        const char* start = in;
        while (*in != '\0' && *in != '/')
            ++in;
        const size_t length = static_cast<size_t>(in - start);
        if (length == 0 || (length == 1 && start[0] == '.'))
            continue;
        if (length == 2 && start[0] == '.' && start[1] == '.') {
            while (out > ioPath && *--out != '/') {
            }
            continue;
        }
        *out++ = '/';
        memmove(out, start, length);
        out += length;
    }
    if (out == ioPath)
        *out++ = '/';
    *out = '\0';
}

void initialise() {
    int expected = 0;
    if (__atomic_compare_exchange_n(&theInitialisation, &expected, 1, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE)) {
        const char* directory = getenv("OX_FAULT_DIR");
        if (directory != nullptr && directory[0] == '/' && strlen(directory) < sizeof theDirectory) {
            strcpy(theDirectory, directory);
            normalise(theDirectory);
            theDirectoryLength = strlen(theDirectory);
        }
        const char* report = getenv("OX_FAULT_REPORT");
        if (report != nullptr && strlen(report) < sizeof theReportPath)
            strcpy(theReportPath, report);
        const char* faults = getenv("OX_FAULT");
        while (faults != nullptr && *faults != '\0' && theFaultCount < kMostFaults) {
            const char* comma = strchr(faults, ',');
            const size_t length = comma == nullptr ? strlen(faults) : static_cast<size_t>(comma - faults);
            if (parseFault(faults, length, theFaults[theFaultCount]))
                ++theFaultCount;
            faults = comma == nullptr ? nullptr : comma + 1;
        }
        __atomic_store_n(&theInitialisation, 2, __ATOMIC_RELEASE);
        return;
    }
    while (__atomic_load_n(&theInitialisation, __ATOMIC_ACQUIRE) != 2) {
    }
}

bool isTracked(int inDescriptor) {
    return inDescriptor >= 0 && inDescriptor < kMostTrackedDescriptors &&
           __atomic_load_n(&theTracked[inDescriptor], __ATOMIC_RELAXED) != 0;
}

void setTracked(int inDescriptor, bool inTracked) {
    if (inDescriptor >= 0 && inDescriptor < kMostTrackedDescriptors)
        __atomic_store_n(&theTracked[inDescriptor], inTracked ? 1 : 0, __ATOMIC_RELAXED);
}

bool append(char* ioBuffer, size_t inSize, const char* inText) {
    const size_t used = strlen(ioBuffer);
    const size_t length = strlen(inText);
    if (used + length + 1 > inSize)
        return false;
    memcpy(ioBuffer + used, inText, length + 1);
    return true;
}

void appendNumber(char* ioBuffer, size_t inSize, uint64_t inNumber) {
    char digits[24];
    char* cursor = digits + sizeof digits;
    *--cursor = '\0';
    do {
        *--cursor = static_cast<char>('0' + inNumber % 10);
        inNumber /= 10;
    } while (inNumber != 0);
    append(ioBuffer, inSize, cursor);
}

// Whether inPath, relative to inDirectory (a descriptor or AT_FDCWD), names
// something in the watched directory or the directory itself.
bool isWatchedAt(int inDirectory, const char* inPath) {
    if (theDirectoryLength == 0 || inPath == nullptr)
        return false;
    char path[2 * PATH_MAX];
    path[0] = '\0';
    if (inPath[0] != '/') {
        if (inDirectory == AT_FDCWD) {
            if (getcwd(path, PATH_MAX) == nullptr)
                return false;
        } else if (isTracked(inDirectory)) {
            return true;
        } else {
            char link[32] = "/proc/self/fd/";
            appendNumber(link, sizeof link, static_cast<uint64_t>(inDirectory));
            const ssize_t length = OX_REAL(readlink)(link, path, PATH_MAX - 1);
            if (length <= 0)
                return false;
            path[length] = '\0';
        }
        if (!append(path, sizeof path, "/"))
            return false;
    }
    if (!append(path, sizeof path, inPath))
        return false;
    normalise(path);
    return strncmp(path, theDirectory, theDirectoryLength) == 0 &&
           (path[theDirectoryLength] == '\0' || path[theDirectoryLength] == '/' || theDirectoryLength == 1);
}

bool isWatched(const char* inPath) {
    return isWatchedAt(AT_FDCWD, inPath);
}

void writeReport() {
    if (theReportPath[0] == '\0')
        return;
    const int file = OX_REAL(open)(theReportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    for (int i = 0; i < kOperationCount; ++i) {
        char line[128] = "op ";
        append(line, sizeof line, theOperations[i].itsName);
        append(line, sizeof line, " ");
        appendNumber(line, sizeof line, __atomic_load_n(&theCalls[i], __ATOMIC_ACQUIRE));
        append(line, sizeof line, theOperations[i].itsShortable ? " 1" : " 0");
        append(line, sizeof line, theOperations[i].itsInterruptible ? " 1" : " 0");
        append(line, sizeof line, theOperations[i].itsChanges ? " 1 " : " 0 ");
        const bool seen = __atomic_load_n(&theFaultSeen, __ATOMIC_ACQUIRE);
        appendNumber(line, sizeof line,
                     seen ? theCallsAtFault[i] : __atomic_load_n(&theCalls[i], __ATOMIC_ACQUIRE));
        append(line, sizeof line, "\n");
        (void)!OX_REAL(write)(file, line, strlen(line));
    }
    for (int f = 0; f < theFaultCount; ++f) {
        const oxFault& fault = theFaults[f];
        char line[128] = "fault ";
        append(line, sizeof line, theOperations[fault.itsOperation].itsName);
        append(line, sizeof line, " ");
        appendNumber(line, sizeof line, fault.itsCall);
        append(line, sizeof line, " ");
        append(line, sizeof line, theKindNames[static_cast<int>(fault.itsKind)]);
        append(line, sizeof line,
               __atomic_load_n(&fault.itsReached, __ATOMIC_ACQUIRE) ? " reached\n" : " unreached\n");
        (void)!OX_REAL(write)(file, line, strlen(line));
    }
    OX_REAL(close)(file);
}

__attribute__((destructor)) void reportAtExit() {
    if (__atomic_load_n(&theInitialisation, __ATOMIC_ACQUIRE) == 2)
        writeReport();
}

// What one call is to do: pass through, fail with an error, or move fewer
// bytes.
struct oxDecision {
    bool itsWatched = false;
    bool itsFails = false;
    bool itsShortens = false;
    int itsError = 0;
};

// Counts the call when it is watched and applies a fault due at it; a kill
// happens here, before the call.
template <typename Watched>
oxDecision decide(oxOperation inOperation, Watched inWatched) {
    oxDecision decision;
    if (theDepth > 0)
        return decision;
    initialise();
    if (theDirectoryLength == 0 || !inWatched())
        return decision;
    decision.itsWatched = true;
    const int operation = static_cast<int>(inOperation);
    const uint64_t call = __atomic_add_fetch(&theCalls[operation], 1, __ATOMIC_ACQ_REL);
    for (int f = 0; f < theFaultCount; ++f) {
        oxFault& fault = theFaults[f];
        if (fault.itsOperation != operation || fault.itsCall != call)
            continue;
        __atomic_store_n(&fault.itsReached, true, __ATOMIC_RELEASE);
        if (!__atomic_load_n(&theFaultSeen, __ATOMIC_ACQUIRE)) {
            for (int i = 0; i < kOperationCount; ++i)
                theCallsAtFault[i] = __atomic_load_n(&theCalls[i], __ATOMIC_ACQUIRE);
            __atomic_store_n(&theFaultSeen, true, __ATOMIC_RELEASE);
        }
        switch (fault.itsKind) {
            case oxKind::eio:
                decision.itsFails = true;
                decision.itsError = EIO;
                break;
            case oxKind::enospc:
                decision.itsFails = true;
                decision.itsError = ENOSPC;
                break;
            case oxKind::eintr:
                decision.itsFails = true;
                decision.itsError = EINTR;
                break;
            case oxKind::shortCount:
                decision.itsShortens = theOperations[operation].itsShortable;
                break;
            case oxKind::kill:
                writeReport();
                raise(SIGKILL);
                break;
            case oxKind::term:
                // Its default action leaves no time for a report at exit.
                writeReport();
                raise(SIGTERM);
                break;
        }
    }
    return decision;
}

// Fewer bytes than asked, never none: none would mean the end of the file.
size_t shortened(const oxDecision& inDecision, size_t inCount) {
    return inDecision.itsShortens && inCount > 1 ? inCount / 2 : inCount;
}

template <typename Result>
Result failure(int inError) {
    errno = inError;
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return static_cast<Result>(-1);
}

// A call that counts when Watched (an expression of its parameters) holds.
// Args may shorten its count with OX_SHORT(count).
#define OX_SHORT(count) shortened(decision, count)
#define OX_INTERPOSE(Result, function, operation, Params, Args, Watched)                               \
    extern "C" Result function Params {                                                                \
        static Result(*theReal) Params = nullptr;                                                      \
        const auto real = realOf(#function, theReal);                                                  \
        const oxDecision decision = decide(oxOperation::operation, [&]() -> bool { return Watched; }); \
        if (real == nullptr || decision.itsFails)                                                      \
            return failure<Result>(real == nullptr ? ENOSYS : decision.itsError);                      \
        oxDepthGuard guard;                                                                            \
        return real Args;                                                                              \
    }
// The same for a call that makes a descriptor: one made on a watched name
// is tracked.
#define OX_INTERPOSE_OPENING(Result, function, operation, Params, Args, Watched)                       \
    extern "C" Result function Params {                                                                \
        static Result(*theReal) Params = nullptr;                                                      \
        const auto real = realOf(#function, theReal);                                                  \
        const oxDecision decision = decide(oxOperation::operation, [&]() -> bool { return Watched; }); \
        if (real == nullptr || decision.itsFails)                                                      \
            return failure<Result>(real == nullptr ? ENOSYS : decision.itsError);                      \
        oxDepthGuard guard;                                                                            \
        const auto result = real Args;                                                                 \
        if (decision.itsWatched)                                                                       \
            setTracked(descriptorOf(result), true);                                                    \
        return result;                                                                                 \
    }

int descriptorOf(int inDescriptor) {
    return inDescriptor;
}
int descriptorOf(FILE* inStream) {
    return inStream == nullptr ? -1 : fileno(inStream);
}
int descriptorOf(DIR* inDirectory) {
    return inDirectory == nullptr ? -1 : dirfd(inDirectory);
}

// open and openat take their mode only with O_CREAT or O_TMPFILE.
mode_t modeArgument(int inFlags, va_list ioArguments) {
    return (inFlags & O_CREAT) != 0 || (inFlags & O_TMPFILE) == O_TMPFILE ? va_arg(ioArguments, mode_t) : 0;
}

template <typename Function>
int openAt(Function inReal, oxOperation inOperation, int inDirectory, const char* inPath, int inFlags,
           mode_t inMode) {
    const oxDecision decision = decide(inOperation, [&] { return isWatchedAt(inDirectory, inPath); });
    if (inReal == nullptr || decision.itsFails)
        return failure<int>(inReal == nullptr ? ENOSYS : decision.itsError);
    oxDepthGuard guard;
    const int result = inReal(inDirectory, inPath, inFlags, inMode);
    if (decision.itsWatched)
        setTracked(result, true);
    return result;
}

int openPath(decltype(&::open) inReal, const char* inPath, int inFlags, mode_t inMode) {
    const oxDecision decision = decide(oxOperation::open, [&] { return isWatched(inPath); });
    if (inReal == nullptr || decision.itsFails)
        return failure<int>(inReal == nullptr ? ENOSYS : decision.itsError);
    oxDepthGuard guard;
    const int result = inReal(inPath, inFlags, inMode);
    if (decision.itsWatched)
        setTracked(result, true);
    return result;
}

using oxOpenFunction = int (*)(const char*, int, ...);
using oxOpenAtFunction = int (*)(int, const char*, int, ...);
oxOpenFunction theRealOpen64 = nullptr;
oxOpenAtFunction theRealOpenAt = nullptr;
oxOpenAtFunction theRealOpenAt64 = nullptr;

// fcntl's commands that take or test a lock count as the operation; those
// that duplicate a descriptor pass its tracking on.
bool isLockCommand(int inCommand) {
    return inCommand == F_SETLK || inCommand == F_SETLKW || inCommand == F_GETLK ||
           inCommand == F_OFD_SETLK || inCommand == F_OFD_SETLKW || inCommand == F_OFD_GETLK;
}

int fcntlWith(int (*inReal)(int, int, ...), int inDescriptor, int inCommand, void* inArgument) {
    const oxDecision decision =
        decide(oxOperation::fcntl, [&] { return isLockCommand(inCommand) && isTracked(inDescriptor); });
    if (inReal == nullptr || decision.itsFails)
        return failure<int>(inReal == nullptr ? ENOSYS : decision.itsError);
    oxDepthGuard guard;
    const int result = inReal(inDescriptor, inCommand, inArgument);
    if ((inCommand == F_DUPFD || inCommand == F_DUPFD_CLOEXEC) && isTracked(inDescriptor))
        setTracked(result, true);
    return result;
}

using oxFcntlFunction = int (*)(int, int, ...);
oxFcntlFunction theRealFcntl = nullptr;
oxFcntlFunction theRealFcntl64 = nullptr;

}  // namespace

// --- Opening -----------------------------------------------------------------

extern "C" int open(const char* inPath, int inFlags, ...) {
    va_list arguments;
    va_start(arguments, inFlags);
    const mode_t mode = modeArgument(inFlags, arguments);
    va_end(arguments);
    return openPath(OX_REAL(open), inPath, inFlags, mode);
}

extern "C" int open64(const char* inPath, int inFlags, ...) {
    va_list arguments;
    va_start(arguments, inFlags);
    const mode_t mode = modeArgument(inFlags, arguments);
    va_end(arguments);
    return openPath(reinterpret_cast<decltype(&::open)>(realOf("open64", theRealOpen64)), inPath, inFlags,
                    mode);
}

extern "C" int openat(int inDirectory, const char* inPath, int inFlags, ...) {
    va_list arguments;
    va_start(arguments, inFlags);
    const mode_t mode = modeArgument(inFlags, arguments);
    va_end(arguments);
    return openAt(realOf("openat", theRealOpenAt), oxOperation::openat, inDirectory, inPath, inFlags, mode);
}

extern "C" int openat64(int inDirectory, const char* inPath, int inFlags, ...) {
    va_list arguments;
    va_start(arguments, inFlags);
    const mode_t mode = modeArgument(inFlags, arguments);
    va_end(arguments);
    return openAt(realOf("openat64", theRealOpenAt64), oxOperation::openat, inDirectory, inPath, inFlags,
                  mode);
}

// The fortified entry points, called where _FORTIFY_SOURCE cannot check the
// flags at compile time.
OX_INTERPOSE_OPENING(int, __open_2, open, (const char* p, int f), (p, f), isWatched(p))
OX_INTERPOSE_OPENING(int, __open64_2, open, (const char* p, int f), (p, f), isWatched(p))
OX_INTERPOSE_OPENING(int, __openat_2, openat, (int d, const char* p, int f), (d, p, f), isWatchedAt(d, p))
OX_INTERPOSE_OPENING(int, __openat64_2, openat, (int d, const char* p, int f), (d, p, f), isWatchedAt(d, p))
OX_INTERPOSE_OPENING(int, creat, creat, (const char* p, mode_t m), (p, m), isWatched(p))
OX_INTERPOSE_OPENING(int, creat64, creat, (const char* p, mode_t m), (p, m), isWatched(p))
OX_INTERPOSE_OPENING(int, mkstemp, mkstemp, (char* t), (t), isWatched(t))
OX_INTERPOSE_OPENING(int, mkstemp64, mkstemp, (char* t), (t), isWatched(t))
OX_INTERPOSE_OPENING(int, mkostemp, mkstemp, (char* t, int f), (t, f), isWatched(t))
OX_INTERPOSE_OPENING(int, mkostemp64, mkstemp, (char* t, int f), (t, f), isWatched(t))
OX_INTERPOSE_OPENING(int, mkstemps, mkstemp, (char* t, int s), (t, s), isWatched(t))
OX_INTERPOSE_OPENING(int, mkostemps, mkstemp, (char* t, int s, int f), (t, s, f), isWatched(t))
OX_INTERPOSE_OPENING(FILE*, fopen, fopen, (const char* p, const char* m), (p, m), isWatched(p))
OX_INTERPOSE_OPENING(FILE*, fopen64, fopen, (const char* p, const char* m), (p, m), isWatched(p))
OX_INTERPOSE_OPENING(DIR*, opendir, opendir, (const char* p), (p), isWatched(p))
OX_INTERPOSE_OPENING(DIR*, fdopendir, opendir, (int d), (d), isTracked(d))

// --- Reading and writing -----------------------------------------------------

OX_INTERPOSE(ssize_t, read, read, (int d, void* b, size_t n), (d, b, OX_SHORT(n)), isTracked(d))
OX_INTERPOSE(ssize_t, __read_chk, read, (int d, void* b, size_t n, size_t s), (d, b, OX_SHORT(n), s),
             isTracked(d))
OX_INTERPOSE(ssize_t, pread, pread, (int d, void* b, size_t n, off_t o), (d, b, OX_SHORT(n), o), isTracked(d))
OX_INTERPOSE(ssize_t, pread64, pread, (int d, void* b, size_t n, off64_t o), (d, b, OX_SHORT(n), o),
             isTracked(d))
OX_INTERPOSE(ssize_t, __pread_chk, pread, (int d, void* b, size_t n, off_t o, size_t s),
             (d, b, OX_SHORT(n), o, s), isTracked(d))
OX_INTERPOSE(ssize_t, __pread64_chk, pread, (int d, void* b, size_t n, off64_t o, size_t s),
             (d, b, OX_SHORT(n), o, s), isTracked(d))
OX_INTERPOSE(ssize_t, write, write, (int d, const void* b, size_t n), (d, b, OX_SHORT(n)), isTracked(d))
OX_INTERPOSE(ssize_t, pwrite, pwrite, (int d, const void* b, size_t n, off_t o), (d, b, OX_SHORT(n), o),
             isTracked(d))
OX_INTERPOSE(ssize_t, pwrite64, pwrite, (int d, const void* b, size_t n, off64_t o), (d, b, OX_SHORT(n), o),
             isTracked(d))
OX_INTERPOSE(off_t, lseek, lseek, (int d, off_t o, int w), (d, o, w), isTracked(d))
OX_INTERPOSE(off64_t, lseek64, lseek, (int d, off64_t o, int w), (d, o, w), isTracked(d))
OX_INTERPOSE(ssize_t, getdents64, getdents64, (int d, void* b, size_t n), (d, b, OX_SHORT(n)), isTracked(d))
OX_INTERPOSE(dirent*, readdir, readdir, (DIR * s), (s), isTracked(descriptorOf(s)))
OX_INTERPOSE(dirent64*, readdir64, readdir, (DIR * s), (s), isTracked(descriptorOf(s)))

// --- Flushing, locking, sizes --------------------------------------------------

OX_INTERPOSE(int, fsync, fsync, (int d), (d), isTracked(d))
OX_INTERPOSE(int, fdatasync, fdatasync, (int d), (d), isTracked(d))
OX_INTERPOSE(int, sync_file_range, sync_file_range, (int d, off64_t o, off64_t n, unsigned int f),
             (d, o, n, f), isTracked(d))
OX_INTERPOSE(int, flock, flock, (int d, int o), (d, o), isTracked(d))
OX_INTERPOSE(int, ftruncate, ftruncate, (int d, off_t l), (d, l), isTracked(d))
OX_INTERPOSE(int, ftruncate64, ftruncate, (int d, off64_t l), (d, l), isTracked(d))
OX_INTERPOSE(int, fallocate, fallocate, (int d, int m, off_t o, off_t l), (d, m, o, l), isTracked(d))
OX_INTERPOSE(int, fallocate64, fallocate, (int d, int m, off64_t o, off64_t l), (d, m, o, l), isTracked(d))

extern "C" int fcntl(int inDescriptor, int inCommand, ...) {
    va_list arguments;
    va_start(arguments, inCommand);
    // Every command's argument is an int or a pointer, passed alike.
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return fcntlWith(realOf("fcntl", theRealFcntl), inDescriptor, inCommand, argument);
}

extern "C" int fcntl64(int inDescriptor, int inCommand, ...) {
    va_list arguments;
    va_start(arguments, inCommand);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return fcntlWith(realOf("fcntl64", theRealFcntl64), inDescriptor, inCommand, argument);
}

// --- Status and names ----------------------------------------------------------

OX_INTERPOSE(int, stat, stat, (const char* p, struct stat* s), (p, s), isWatched(p))
OX_INTERPOSE(int, stat64, stat, (const char* p, struct stat64* s), (p, s), isWatched(p))
OX_INTERPOSE(int, lstat, lstat, (const char* p, struct stat* s), (p, s), isWatched(p))
OX_INTERPOSE(int, lstat64, lstat, (const char* p, struct stat64* s), (p, s), isWatched(p))
OX_INTERPOSE(int, fstat, fstat, (int d, struct stat* s), (d, s), isTracked(d))
OX_INTERPOSE(int, fstat64, fstat, (int d, struct stat64* s), (d, s), isTracked(d))
OX_INTERPOSE(int, fstatat, fstatat, (int d, const char* p, struct stat* s, int f), (d, p, s, f),
             isWatchedAt(d, p))
OX_INTERPOSE(int, fstatat64, fstatat, (int d, const char* p, struct stat64* s, int f), (d, p, s, f),
             isWatchedAt(d, p))
OX_INTERPOSE(int, statx, statx, (int d, const char* p, int f, unsigned int m, struct statx* s),
             (d, p, f, m, s), isWatchedAt(d, p))
OX_INTERPOSE(int, access, access, (const char* p, int m), (p, m), isWatched(p))
OX_INTERPOSE(int, faccessat, faccessat, (int d, const char* p, int m, int f), (d, p, m, f), isWatchedAt(d, p))
OX_INTERPOSE(ssize_t, readlink, readlink, (const char* p, char* b, size_t n), (p, b, n), isWatched(p))
OX_INTERPOSE(ssize_t, __readlink_chk, readlink, (const char* p, char* b, size_t n, size_t s), (p, b, n, s),
             isWatched(p))
OX_INTERPOSE(ssize_t, readlinkat, readlinkat, (int d, const char* p, char* b, size_t n), (d, p, b, n),
             isWatchedAt(d, p))
OX_INTERPOSE(int, rename, rename, (const char* o, const char* n), (o, n), isWatched(o) || isWatched(n))
OX_INTERPOSE(int, renameat, renameat, (int od, const char* o, int nd, const char* n), (od, o, nd, n),
             isWatchedAt(od, o) || isWatchedAt(nd, n))
OX_INTERPOSE(int, renameat2, renameat2, (int od, const char* o, int nd, const char* n, unsigned int f),
             (od, o, nd, n, f), isWatchedAt(od, o) || isWatchedAt(nd, n))
OX_INTERPOSE(int, link, link, (const char* o, const char* n), (o, n), isWatched(o) || isWatched(n))
OX_INTERPOSE(int, linkat, linkat, (int od, const char* o, int nd, const char* n, int f), (od, o, nd, n, f),
             isWatchedAt(od, o) || isWatchedAt(nd, n))
OX_INTERPOSE(int, unlink, unlink, (const char* p), (p), isWatched(p))
OX_INTERPOSE(int, unlinkat, unlinkat, (int d, const char* p, int f), (d, p, f), isWatchedAt(d, p))
OX_INTERPOSE(int, mkdir, mkdir, (const char* p, mode_t m), (p, m), isWatched(p))
OX_INTERPOSE(int, mkdirat, mkdirat, (int d, const char* p, mode_t m), (d, p, m), isWatchedAt(d, p))

// --- Owners, modes, times, extended attributes ---------------------------------

OX_INTERPOSE(int, fchmod, fchmod, (int d, mode_t m), (d, m), isTracked(d))
OX_INTERPOSE(int, fchmodat, fchmodat, (int d, const char* p, mode_t m, int f), (d, p, m, f),
             isWatchedAt(d, p))
OX_INTERPOSE(int, chmod, chmod, (const char* p, mode_t m), (p, m), isWatched(p))
OX_INTERPOSE(int, fchown, fchown, (int d, uid_t u, gid_t g), (d, u, g), isTracked(d))
OX_INTERPOSE(int, fchownat, fchownat, (int d, const char* p, uid_t u, gid_t g, int f), (d, p, u, g, f),
             isWatchedAt(d, p))
OX_INTERPOSE(int, chown, chown, (const char* p, uid_t u, gid_t g), (p, u, g), isWatched(p))
OX_INTERPOSE(int, lchown, lchown, (const char* p, uid_t u, gid_t g), (p, u, g), isWatched(p))
OX_INTERPOSE(int, futimens, futimens, (int d, const struct timespec* t), (d, t), isTracked(d))
OX_INTERPOSE(int, utimensat, utimensat, (int d, const char* p, const struct timespec* t, int f), (d, p, t, f),
             isWatchedAt(d, p))
OX_INTERPOSE(ssize_t, fgetxattr, fgetxattr, (int d, const char* k, void* v, size_t n), (d, k, v, n),
             isTracked(d))
OX_INTERPOSE(int, fsetxattr, fsetxattr, (int d, const char* k, const void* v, size_t n, int f),
             (d, k, v, n, f), isTracked(d))
OX_INTERPOSE(ssize_t, flistxattr, flistxattr, (int d, char* l, size_t n), (d, l, n), isTracked(d))
OX_INTERPOSE(int, fremovexattr, fremovexattr, (int d, const char* k), (d, k), isTracked(d))
OX_INTERPOSE(ssize_t, getxattr, getxattr, (const char* p, const char* k, void* v, size_t n), (p, k, v, n),
             isWatched(p))
OX_INTERPOSE(ssize_t, lgetxattr, lgetxattr, (const char* p, const char* k, void* v, size_t n), (p, k, v, n),
             isWatched(p))
OX_INTERPOSE(int, setxattr, setxattr, (const char* p, const char* k, const void* v, size_t n, int f),
             (p, k, v, n, f), isWatched(p))
OX_INTERPOSE(int, lsetxattr, lsetxattr, (const char* p, const char* k, const void* v, size_t n, int f),
             (p, k, v, n, f), isWatched(p))
OX_INTERPOSE(ssize_t, listxattr, listxattr, (const char* p, char* l, size_t n), (p, l, n), isWatched(p))
OX_INTERPOSE(ssize_t, llistxattr, llistxattr, (const char* p, char* l, size_t n), (p, l, n), isWatched(p))
OX_INTERPOSE(int, removexattr, removexattr, (const char* p, const char* k), (p, k), isWatched(p))
OX_INTERPOSE(int, lremovexattr, lremovexattr, (const char* p, const char* k), (p, k), isWatched(p))

// --- Descriptors: closing and copying pass the tracking on ----------------------

extern "C" int close(int inDescriptor) {
    static decltype(&::close) theReal = nullptr;
    const auto real = realOf("close", theReal);
    const oxDecision decision = decide(oxOperation::close, [&] { return isTracked(inDescriptor); });
    // Linux frees the descriptor whatever close reports, so a failure is
    // reported after the real close.
    setTracked(inDescriptor, false);
    if (real == nullptr)
        return failure<int>(ENOSYS);
    const int result = [&] {
        oxDepthGuard guard;
        return real(inDescriptor);
    }();
    return decision.itsFails ? failure<int>(decision.itsError) : result;
}

extern "C" int fclose(FILE* inStream) {
    static decltype(&::fclose) theReal = nullptr;
    setTracked(descriptorOf(inStream), false);
    return realOf("fclose", theReal)(inStream);
}

extern "C" int closedir(DIR* inDirectory) {
    static decltype(&::closedir) theReal = nullptr;
    setTracked(descriptorOf(inDirectory), false);
    return realOf("closedir", theReal)(inDirectory);
}

extern "C" int dup(int inDescriptor) {
    static decltype(&::dup) theReal = nullptr;
    const int result = realOf("dup", theReal)(inDescriptor);
    if (result >= 0 && isTracked(inDescriptor))
        setTracked(result, true);
    return result;
}

extern "C" int dup2(int inDescriptor, int inNew) {
    static decltype(&::dup2) theReal = nullptr;
    const int result = realOf("dup2", theReal)(inDescriptor, inNew);
    if (result >= 0)
        setTracked(result, isTracked(inDescriptor));
    return result;
}

extern "C" int dup3(int inDescriptor, int inNew, int inFlags) {
    static decltype(&::dup3) theReal = nullptr;
    const int result = realOf("dup3", theReal)(inDescriptor, inNew, inFlags);
    if (result >= 0)
        setTracked(result, isTracked(inDescriptor));
    return result;
}
