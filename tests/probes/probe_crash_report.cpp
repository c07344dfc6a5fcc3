// A process that crashes where the crash report must not depend on the
// allocator or the log's lock; the remaining arguments are its command line.
//   probe_crash_report in-allocation   crashes inside an allocation, with
//                                      the allocator's lock held
//   probe_crash_report while-logging   crashes while another thread holds
//                                      the log's lock, stuck in an allocation
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "oxInfoLog.h"
#include "oxProcess.h"
#include "oxRevision.h"

namespace {
// Stands in for the allocator's own lock: taken for every allocation and
// not recursive, so an allocation made while it is held never returns.
std::atomic_flag theAllocatorLock = ATOMIC_FLAG_INIT;
// The next allocation on this thread crashes, with the lock held.
thread_local bool theCrashInAllocation = false;
// The next allocation on this thread stops for good, before the lock.
thread_local bool theStopInAllocation = false;
std::atomic<bool> theIsStopped{false};

// A real fault, not one the undefined-behaviour checker stops first.
__attribute__((no_sanitize("undefined"), noinline)) void writeThroughNull() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

void* allocate(size_t inSize) noexcept {
    if (theStopInAllocation) {
        theIsStopped.store(true);
        for (;;)
            std::this_thread::yield();
    }
    while (theAllocatorLock.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
    if (theCrashInAllocation) {
        theCrashInAllocation = false;
        writeThroughNull();
    }
    void* block = malloc(inSize != 0 ? inSize : 1);
    theAllocatorLock.clear(std::memory_order_release);
    return block;
}

void logStuck() {
    theStopInAllocation = true;
    // A new once-text is remembered under the log's lock, in an allocation.
    oxInfoLog::log(oxLog_once | 0, "the text of a line whose allocation never returns");
}

class oxCrashProcess : public oxProcess {
public:
    explicit oxCrashProcess(const char* inMode) : oxProcess(oxRevision::getBuildTexts()), itsMode(inMode) {}

    void run() override {
        if (strcmp(itsMode, "in-allocation") == 0) {
            theCrashInAllocation = true;
            // Called, not a new-expression: the compiler may not leave it out.
            ::operator delete(::operator new(16));
        } else if (strcmp(itsMode, "while-logging") == 0) {
            std::thread(logStuck).detach();
            while (!theIsStopped.load())
                std::this_thread::yield();
            writeThroughNull();
        }
        fputs("no crash\n", stderr);
    }

private:
    const char* itsMode;
};
}  // namespace

void* operator new(size_t inSize) {
    void* block = allocate(inSize);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void* operator new(size_t inSize, const std::nothrow_t&) noexcept {
    return allocate(inSize);
}

void operator delete(void* inBlock) noexcept {
    free(inBlock);
}

void operator delete(void* inBlock, size_t) noexcept {
    free(inBlock);
}

void operator delete(void* inBlock, const std::nothrow_t&) noexcept {
    free(inBlock);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: probe_crash_report in-allocation|while-logging [options]\n", stderr);
        return 2;
    }
    oxCrashProcess process(argv[1]);
    return process.start(argc - 1, argv + 1);
}
