// Only the POSIX emulation is tested here; on Windows these are the real calls.
#ifndef _WIN32

#include "oxWin32.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

LONG WINAPI printingFilter(EXCEPTION_POINTERS* inInfo) {
    std::fprintf(
        stderr, "code 0x%lX at 0x%lX\n", static_cast<unsigned long>(inInfo->ExceptionRecord->ExceptionCode),
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(inInfo->ExceptionRecord->ExceptionAddress)));
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI otherFilter(EXCEPTION_POINTERS*) {
    return EXCEPTION_CONTINUE_SEARCH;
}

// The faults are the point, so the undefined-behaviour checks of a
// sanitizer build must not stop them first.
__attribute__((no_sanitize("undefined"))) void writeThroughNull() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

volatile int theQuotient = 0;

__attribute__((no_sanitize("undefined"), noinline)) void divideByZero() {
    // Both operands volatile and the result kept: otherwise the optimiser
    // folds or drops a division whose result nobody reads.
    volatile int dividend = 7;
    volatile int zero = 0;
    theQuotient = dividend / zero;
}

volatile int theDepthLimit = 1 << 30;

int recurse(int inDepth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(inDepth);
    if (inDepth >= theDepthLimit)
        return frame[0];
    return recurse(inDepth + 1) + frame[0];
}

// Run in the child of a death test.
void crashWith(LPTOP_LEVEL_EXCEPTION_FILTER inFilter, void (*inCrash)()) {
    SetUnhandledExceptionFilter(inFilter);
    inCrash();
}

LONG WINAPI crashingFilter(EXCEPTION_POINTERS*) {
    std::fputs("filter entered\n", stderr);
    std::abort();
}

class oxPosixExceptionFilterDeathTest : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(oxPosixExceptionFilterDeathTest, EachCrashSignalHasItsWindowsCode) {
    const struct {
        void (*itsCrash)();
        int itsSignal;
        const char* itsReport;
    } crashes[] = {
        {writeThroughNull, SIGSEGV, "code 0xC0000005 at 0x0\n"},
        // A stack overflow still reaches the filter.
        {[] { recurse(0); }, SIGSEGV, "code 0xC0000005 at 0x"},
        {[] { std::abort(); }, SIGABRT, "code 0x40000015 at 0x0\n"},
        {divideByZero, SIGFPE, "code 0xC0000094 at 0x"},
        // Sent signals carry no fault address.
        {[] { raise(SIGBUS); }, SIGBUS, "code 0x80000002 at 0x0\n"},
        {[] { raise(SIGILL); }, SIGILL, "code 0xC000001D at 0x0\n"},
    };
    for (const auto& crash : crashes) {
        EXPECT_EXIT(crashWith(printingFilter, crash.itsCrash), testing::KilledBySignal(crash.itsSignal),
                    crash.itsReport);
    }
}

TEST_F(oxPosixExceptionFilterDeathTest, CrashInsideFilterEndsProcessWithoutReentry) {
    EXPECT_EXIT(crashWith(crashingFilter, writeThroughNull), testing::KilledBySignal(SIGABRT),
                "^filter entered\n$");
}

TEST_F(oxPosixExceptionFilterDeathTest, ReplacingReturnsPreviousAndNullRemovesFilter) {
    // In a child, so the test process keeps its own crash handling.
    EXPECT_EXIT(
        {
            const bool ok = SetUnhandledExceptionFilter(printingFilter) == nullptr &&
                            SetUnhandledExceptionFilter(otherFilter) == printingFilter &&
                            SetUnhandledExceptionFilter(nullptr) == otherFilter;
            std::fputs(ok ? "chain ok\n" : "chain broken\n", stderr);
            writeThroughNull();
        },
        testing::KilledBySignal(SIGSEGV), "^chain ok\n$");
}

}  // namespace

#endif
