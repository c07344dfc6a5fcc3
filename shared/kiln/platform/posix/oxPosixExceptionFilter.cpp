// The top-level exception filter on POSIX: the fatal signals a crash
// raises stand in for Windows' unhandled exceptions.
#include "oxPosixWin32.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>

namespace {

const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Big enough for the filter's own formatting and logging after the
// thread's stack has run out.
const size_t kAlternateStackSize = 64 * 1024;

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> theFilter{nullptr};
// Set by the first crash; any later one (from the filter itself or from
// another thread) goes straight to the default action.
std::atomic_flag theCrashSeen = ATOMIC_FLAG_INIT;
pthread_once_t theInstallation = PTHREAD_ONCE_INIT;

DWORD exceptionCodeFor(int inSignal) {
    switch (inSignal) {
        case SIGSEGV:
            return EXCEPTION_ACCESS_VIOLATION;
        case SIGBUS:
            return EXCEPTION_DATATYPE_MISALIGNMENT;
        case SIGFPE:
            return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case SIGILL:
            return EXCEPTION_ILLEGAL_INSTRUCTION;
        default:
            return STATUS_FATAL_APP_EXIT;
    }
}

// Only a fault raised by the processor fills si_addr; for a signal sent
// by kill, raise or abort that field overlaps the sender's pid.
PVOID faultAddressOf(int inSignal, const siginfo_t* inInfo) {
    if (inSignal == SIGABRT || inInfo == nullptr || inInfo->si_code <= 0) {
        return nullptr;
    }
    return inInfo->si_addr;
}

void onCrashSignal(int inSignal, siginfo_t* inInfo, void* inContext) {
    const LPTOP_LEVEL_EXCEPTION_FILTER filter = theFilter.load();
    if (filter != nullptr && !theCrashSeen.test_and_set()) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = exceptionCodeFor(inSignal);
        record.ExceptionAddress = faultAddressOf(inSignal, inInfo);
        EXCEPTION_POINTERS pointers{&record, inContext};
        filter(&pointers);
    }
    // The signal is blocked while this handler runs; it is delivered again
    // with the default action as soon as the handler returns (a fault also
    // recurs when its instruction is retried).
    signal(inSignal, SIG_DFL);
    raise(inSignal);
}

// Without its own stack the handler could not run after a stack overflow.
// A stack already set up (a sanitizer's, say) is kept.
void provideAlternateStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) {
        return;
    }
    const size_t size = std::max<size_t>(kAlternateStackSize, SIGSTKSZ);
    // Never freed: the handler may need it until the process ends.
    static void* theAlternateStack = std::malloc(size);
    if (theAlternateStack == nullptr) {
        return;
    }
    stack_t alternate{};
    alternate.ss_sp = theAlternateStack;
    alternate.ss_size = size;
    sigaltstack(&alternate, nullptr);
}

void installCrashHandlers() {
    provideAlternateStack();
    for (int signal : kCrashSignals) {
        struct sigaction crash {};
        crash.sa_sigaction = onCrashSignal;
        sigemptyset(&crash.sa_mask);
        crash.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigaction(signal, &crash, nullptr);
    }
}

}  // namespace

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER inFilter) {
    pthread_once(&theInstallation, installCrashHandlers);
    return theFilter.exchange(inFilter);
}
