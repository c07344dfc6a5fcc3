// The Win32 subset the framework calls, emulated on POSIX.
// Each entry says in one line how the emulation behaves where it differs
// from Windows. Only this folder's .cpp files include POSIX headers, but
// for one that every lock reads inline (below).
#ifndef OX_POSIX_WIN32_H
#define OX_POSIX_WIN32_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>

#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#define OX_POSIX_KNOWS_ONE_THREAD 1
#endif

// --- Basic types -----------------------------------------------------------
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef long LONG;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* PVOID;
typedef void* LPVOID;
typedef DWORD* LPDWORD;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef void* HWND;
typedef void* LPSECURITY_ATTRIBUTES;
// Seconds since 1970, 64 bits wide as Windows' __time64_t; that name is
// reserved to the C library, hence one of our own on both platforms.
typedef int64_t oxTime64;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define WINAPI
#define MAX_PATH 260

// --- Threads and time ------------------------------------------------------
// The kernel thread id (gettid, Linux); never 0. Inline, as every lock asks
// for it: the kernel is asked once per thread and the answer kept, and a
// forked child forgets it and asks again.
inline thread_local DWORD theOxPosixThreadId = 0;
DWORD oxPosixFetchThreadId();
inline DWORD GetCurrentThreadId() {
    const DWORD cached = theOxPosixThreadId;
    return cached != 0 ? cached : oxPosixFetchThreadId();
}
// Milliseconds of the monotonic clock, wrapping at 2^32 like Windows.
DWORD GetTickCount();

// --- Critical sections ----------------------------------------------------
// A lock of our own rather than a recursive pthread mutex, whose owner and
// count bookkeeping callers that keep their own would pay twice: one word
// holds the owner's thread id (0 when free) and a flag for threads asleep
// on it, so a free section is taken with one compare-and-swap and left
// with one exchange, inline (plain stores while the process has one
// thread); only a wait and the wake after it go to the
// kernel (a Linux futex), out of line. Recursive for its owner; TryEnter
// never blocks; a Leave by any thread but the owner does nothing. There is
// nothing to set up that can fail, nor anything to free; a wait the kernel
// refuses aborts the process (Windows raises an exception there) rather
// than let the caller run unprotected. Not fair, as Windows' is not: a
// thread that comes along may take a section just left before a woken one.
struct CRITICAL_SECTION {
    std::atomic<uint32_t> itsState;
    // Written and read by the owner only.
    uint32_t itsRecursion;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
// In itsState beside the owner's id: kernel thread ids stay below 2^22.
constexpr uint32_t kOxPosixSectionHasSleepers = 0x80000000u;
// The slow paths: waits until the section is free and takes it for
// inThreadId (not its owner); wakes one thread asleep on it.
void oxPosixWaitForCriticalSection(LPCRITICAL_SECTION ioSection, DWORD inThreadId);
void oxPosixWakeCriticalSection(LPCRITICAL_SECTION ioSection);

inline void InitializeCriticalSection(LPCRITICAL_SECTION outSection) {
    outSection->itsState.store(0, std::memory_order_relaxed);
    outSection->itsRecursion = 0;
}

// True while the process has one thread (glibc's own flag, which its
// mutexes read for the same purpose). It turns false in pthread_create,
// before the second thread runs, and that call orders every store made
// before it; so while it is true no other thread can see a section, and a
// free one is taken and left with plain stores instead of two locked
// instructions, which cost more than all the rest of a lock and unlock.
inline bool oxPosixHasOneThread() {
#ifdef OX_POSIX_KNOWS_ONE_THREAD
    return __libc_single_threaded != 0;
#else
    return false;
#endif
}

inline BOOL TryEnterCriticalSection(LPCRITICAL_SECTION ioSection) {
    const DWORD self = GetCurrentThreadId();
    uint32_t state = 0;
    if (oxPosixHasOneThread()) {
        state = ioSection->itsState.load(std::memory_order_relaxed);
        if (state == 0) {
            ioSection->itsState.store(self, std::memory_order_relaxed);
            ioSection->itsRecursion = 1;
            return TRUE;
        }
    } else if (ioSection->itsState.compare_exchange_strong(state, self, std::memory_order_acquire,
                                                           std::memory_order_relaxed)) {
        ioSection->itsRecursion = 1;
        return TRUE;
    }
    // Only the owner itself can see its own id there.
    if ((state & ~kOxPosixSectionHasSleepers) != self)
        return FALSE;
    ++ioSection->itsRecursion;
    return TRUE;
}

inline void EnterCriticalSection(LPCRITICAL_SECTION ioSection) {
    if (TryEnterCriticalSection(ioSection) == FALSE)
        oxPosixWaitForCriticalSection(ioSection, GetCurrentThreadId());
}

inline void LeaveCriticalSection(LPCRITICAL_SECTION ioSection) {
    const uint32_t state = ioSection->itsState.load(std::memory_order_relaxed);
    if ((state & ~kOxPosixSectionHasSleepers) != GetCurrentThreadId())
        return;
    if (--ioSection->itsRecursion != 0)
        return;
    // Nobody can sleep on a section while there is one thread.
    if (oxPosixHasOneThread() && (state & kOxPosixSectionHasSleepers) == 0) {
        ioSection->itsState.store(0, std::memory_order_relaxed);
        return;
    }
    if ((ioSection->itsState.exchange(0, std::memory_order_release) & kOxPosixSectionHasSleepers) != 0)
        oxPosixWakeCriticalSection(ioSection);
}

inline void DeleteCriticalSection(LPCRITICAL_SECTION /*ioSection*/) {}

// --- Kernel objects: events and thread handles -----------------------------
// Handles are addresses of reference-counted objects kept in a table of
// live handles, so a null, closed or made-up handle makes a call fail
// (FALSE, WAIT_FAILED) instead of crashing. Closing a handle while another
// thread waits on it keeps the object alive until that wait ends.
#define INFINITE 0xFFFFFFFFU
#define WAIT_OBJECT_0 0U
#define WAIT_TIMEOUT 258U
#define WAIT_FAILED 0xFFFFFFFFU
#define STILL_ACTIVE 259U
#define CREATE_SUSPENDED 0x00000004U
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID inParameter);
// Works for events and thread handles alike.
BOOL CloseHandle(HANDLE inHandle);
// A mutex and a condition variable on the monotonic clock. 0 tests
// without blocking; INFINITE never times out. An event is signalled while
// set; an auto-reset event is consumed by the wait it ends. A thread
// handle is signalled once its routine has returned.
DWORD WaitForSingleObject(HANDLE inHandle, DWORD inMilliseconds);

// Unnamed events only: a name fails (null), the attributes are ignored.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES inAttributes, BOOL inManualReset, BOOL inInitialState,
                    LPCSTR inName);
BOOL SetEvent(HANDLE inEvent);
BOOL ResetEvent(HANDLE inEvent);
// Releases the threads waiting at this moment (all of them for a
// manual-reset event, one for auto-reset) through a generation count, and
// leaves the event non-signalled.
BOOL PulseEvent(HANDLE inEvent);

// A detached pthread; the attributes are ignored, a stack size below the
// pthread default is raised to it, and CREATE_SUSPENDED is the only flag
// honoured. Returns once the new thread knows its id, which is its
// GetCurrentThreadId. A suspended thread waits before its routine until
// ResumeThread. Null on failure (also for a null routine).
HANDLE CreateThread(LPSECURITY_ATTRIBUTES inAttributes, size_t inStackSize,
                    LPTHREAD_START_ROUTINE inStartAddress, LPVOID inParameter, DWORD inCreationFlags,
                    LPDWORD outThreadId);
// Only a thread created suspended can be held, and only before its
// routine starts. Returns the previous suspend count, (DWORD)-1 on failure.
DWORD ResumeThread(HANDLE inThread);
// STILL_ACTIVE until the routine has returned, then its return value.
BOOL GetExitCodeThread(HANDLE inThread, LPDWORD outExitCode);
// POSIX cannot end a thread from outside safely (its locks and memory
// would be left in any state): always FALSE, the thread runs on.
BOOL TerminateThread(HANDLE inThread, DWORD inExitCode);
// No COM on POSIX: nothing to undo.
void CoUninitialize();

// --- Thread messages -------------------------------------------------------
#define PM_NOREMOVE 0x0000U
#define PM_REMOVE 0x0001U
#define WM_QUIT 0x0012U
#define WM_USER 0x0400U
struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;
// A queue per thread, made by the thread's first PeekMessageA or
// GetMessageA and dropped when the thread ends. Posting to a thread
// without one (or to an unknown id) fails, as it does once 10000 messages
// wait, Windows' limit. pt is always 0, 0; time is GetTickCount.
BOOL PostThreadMessageA(DWORD inThreadId, UINT inMessage, WPARAM inWParam, LPARAM inLParam);
// There are no windows: inWindow must be null, otherwise FALSE. A 0, 0
// filter takes every message, any other the messages from inFilterMin to
// inFilterMax. Only PM_REMOVE of the flags counts.
BOOL PeekMessageA(LPMSG outMessage, HWND inWindow, UINT inFilterMin, UINT inFilterMax, UINT inRemoveFlags);
// Blocks until a matching message arrives and removes it. FALSE for
// WM_QUIT, -1 for a non-null window or a null outMessage.
BOOL GetMessageA(LPMSG outMessage, HWND inWindow, UINT inFilterMin, UINT inFilterMax);
// There are no windows on POSIX: always FALSE.
BOOL PostMessageA(HWND inWindow, UINT inMessage, WPARAM inWParam, LPARAM inLParam);

// A GetSystemMetrics index, for code that names it; the call itself is
// Windows-only.
#define SM_SERVERR2 89

// --- Paths -------------------------------------------------------------------
// getcwd. Returns the length written, or the size needed (with the zero)
// when the buffer is too small (a null buffer counts as size 0), or 0 on
// failure.
DWORD GetCurrentDirectoryA(DWORD inBufferLength, LPSTR outBuffer);
// Only the program's own module (null) is known: /proc/self/exe; any other
// module gives 0. Returns the length copied; a path that does not fit is
// cut to inSize - 1 characters plus the zero and inSize is returned, as
// Windows does since Vista. 0 when inSize is 0 or on failure.
DWORD GetModuleFileNameA(HMODULE inModule, LPSTR outFileName, DWORD inSize);

// --- Files and file times ----------------------------------------------------
// 100-ns intervals since 1601-01-01 00:00 UTC, split into two halves.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;
// A calendar moment; wDayOfWeek counts from Sunday (0).
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;
#define FILE_ATTRIBUTE_READONLY 0x00000001U
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010U
#define FILE_ATTRIBUTE_NORMAL 0x00000080U
// Only the fields below are filled; the reserved ones and the short name
// are zero. The size is split into high and low halves as on Windows.
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
// No wildcards: "*" and "?" are ordinary name characters on POSIX, so the
// one file named is looked up with stat; a directory is found too. A
// symbolic link reports its target, so that the target's changes show.
// Attributes are DIRECTORY, READONLY (no write bit at all) or NORMAL; the
// creation time is the status-change time, the nearest POSIX keeps; times
// before 1601 read as 0. cFileName is the last path component. A null or
// empty name, or one ending in "/", fails like a missing file:
// INVALID_HANDLE_VALUE, outFindData untouched. The handle is for FindClose
// only (there is no FindNextFileA: one name finds one file).
HANDLE FindFirstFileA(LPCSTR inFileName, LPWIN32_FIND_DATAA outFindData);
// FALSE for a handle FindFirstFileA did not give or that is already closed.
BOOL FindClose(HANDLE inFindFile);
// Proleptic Gregorian calendar in UTC, as on Windows. FALSE, with
// outSystemTime untouched, for null pointers and, as Windows refuses them,
// for times with the top bit set (from 30828-09-14 02:48:05.4775808 on).
BOOL FileTimeToSystemTime(const FILETIME* inFileTime, LPSYSTEMTIME outSystemTime);

// --- Console control -------------------------------------------------------
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD inCtrlType);
// SIGINT, SIGQUIT and SIGHUP become control types 0, 1 and 2. They are
// blocked in the calling thread (and so in every thread it starts later)
// and taken by a watcher thread with sigwait, which calls the handlers,
// newest first, outside any signal handler. A handler that returns FALSE
// passes the signal on; when none takes it, the default action follows.
// When one takes it, a stoppable console read in progress is ended, as
// Windows' console ends a pending read at Ctrl+C (SIGURG to the reading
// thread, see beginStoppableConsoleRead).
// Threads that were already running keep the signals unblocked; a small
// signal handler there hands the signal on to the watcher. A signal that
// was ignored when the first handler came (nohup, background jobs) stays
// ignored. inAdd FALSE removes the newest registration of inHandler and
// fails when there is none. A null handler (Windows' ignore-Ctrl+C switch)
// is not emulated: FALSE. Handlers may add or remove handlers.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE inHandler, BOOL inAdd);

// --- Unhandled exceptions -------------------------------------------------
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005UL
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002UL
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001DUL
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094UL
#define STATUS_FATAL_APP_EXIT 0x40000015UL
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_EXECUTE_HANDLER 1
struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
};
struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;
    void* ContextRecord;
};
typedef LONG(WINAPI* LPTOP_LEVEL_EXCEPTION_FILTER)(EXCEPTION_POINTERS* inInfo);
// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT call the filter with the
// matching Windows exception code and the faulting address (0 for SIGABRT
// and for signals sent by kill or raise, which carry none); then the
// signal takes its default course, so the process dies of that signal
// whatever the filter's verdict. The filter runs inside the signal
// handler, on the thread that crashed, at most once per process: a crash
// inside the filter ends the process at once. ContextRecord is the
// signal's ucontext_t. The first call gives the calling thread an
// alternate signal stack (unless it has one), so a stack overflow there
// still reaches the filter. Returns the previous filter; null removes it.
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER inFilter);

// --- Sockets ---------------------------------------------------------------
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
};
typedef WSADATA* LPWSADATA;
// POSIX sockets need no start-up: always succeeds (returns 0). Like
// Windows, wVersion is the requested version capped at 2.2 and
// wHighVersion is 2.2; a null outData is left alone.
int WSAStartup(WORD inVersionRequested, LPWSADATA outData);

// --- C runtime -----------------------------------------------------------------
// -1 when the clock cannot be read.
oxTime64 _time64(oxTime64* outTime);
// 0 on success, an errno value on failure, like the Microsoft C runtime:
// EINVAL for a null argument and for a time before 1970 or after the year
// 3000; a refused conversion leaves every field of outTime at -1.
int _localtime64_s(struct tm* outTime, const oxTime64* inTime);
int _gmtime64_s(struct tm* outTime, const oxTime64* inTime);
// POSIX malloc never calls the new-handler, so the mode (0 or 1) is only
// recorded; returns the previous mode. Any other value is refused: -1 with
// errno EINVAL, the mode unchanged.
int _set_new_mode(int inMode);

// --- Console input (C runtime) ---------------------------------------------
#include <cstdio>
// fileno.
int _fileno(FILE* inStream);
// isatty: 1 for a terminal, else 0.
int _isatty(int inDescriptor);
// One key code from the terminal on standard input, without echo, read
// through stdin's buffer so that nothing fetched ahead is lost to a later
// line read. DEL (127) is backspace 8; a CR takes an LF right behind it
// along; a cursor or function key's escape sequence comes as 0 and then
// one more code; an Escape that nothing follows within 0.1 s is 27. -1
// when standard input is not a terminal, has ended (hang-up) or fails, or
// when a console control event ended the stoppable read. Outside
// beginHiddenConsoleInput the terminal mode is switched for this key only.
int _getch();

#endif
