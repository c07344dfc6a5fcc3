// Win32 thread handles on POSIX: each runs its routine on a detached
// pthread and keeps its own end, so waiting needs no join.
#include "oxPosixHandles.h"

#include <new>

namespace {

class ThreadObject : public oxPosixHandleObject {
public:
    ThreadObject(LPTHREAD_START_ROUTINE inRoutine, LPVOID inParameter, bool inSuspended)
        : itsRoutine(inRoutine), itsParameter(inParameter), itsSuspendCount(inSuspended ? 1 : 0) {}

    // The pthread's start routine. inStart is a heap-allocated reference
    // to the object, which the thread holds until it ends, so closing the
    // handle cannot pull the object away from under it.
    static void* run(void* inStart) {
        std::shared_ptr<ThreadObject> self = std::move(*static_cast<std::shared_ptr<ThreadObject>*>(inStart));
        delete static_cast<std::shared_ptr<ThreadObject>*>(inStart);
        self->announceAndAwaitResume();
        const DWORD exitCode = self->itsRoutine(self->itsParameter);
        discardThreadMessageQueue();
        self->finish(exitCode);
        return nullptr;
    }

    // Blocks until the new thread has published its id.
    DWORD awaitThreadId() {
        oxPosixLock lock(itsLock);
        while (itsThreadId == 0) {
            sleepLocked();
        }
        return itsThreadId;
    }

    DWORD resume() {
        oxPosixLock lock(itsLock);
        const DWORD previous = itsSuspendCount;
        if (itsSuspendCount > 0) {
            --itsSuspendCount;
            if (itsSuspendCount == 0) {
                wakeWaitersLocked();
            }
        }
        return previous;
    }

    DWORD exitCode() {
        oxPosixLock lock(itsLock);
        return itsFinished ? itsExitCode : STILL_ACTIVE;
    }

private:
    bool tryEndWaitLocked(uint64_t) override { return itsFinished; }

    void announceAndAwaitResume() {
        oxPosixLock lock(itsLock);
        itsThreadId = GetCurrentThreadId();
        wakeWaitersLocked();
        while (itsSuspendCount > 0) {
            sleepLocked();
        }
    }

    void finish(DWORD inExitCode) {
        oxPosixLock lock(itsLock);
        itsExitCode = inExitCode;
        itsFinished = true;
        wakeWaitersLocked();
    }

    const LPTHREAD_START_ROUTINE itsRoutine;
    const LPVOID itsParameter;
    // The fields below are guarded by itsLock.
    DWORD itsSuspendCount;
    DWORD itsThreadId = 0;
    bool itsFinished = false;
    DWORD itsExitCode = 0;
};

// Windows would treat a small size as a hint and round it up; a pthread
// stack below the default could overflow where Windows' would not.
bool applyStackSize(pthread_attr_t& ioAttributes, size_t inStackSize) {
    size_t defaultSize = 0;
    if (inStackSize == 0 || pthread_attr_getstacksize(&ioAttributes, &defaultSize) != 0 ||
        inStackSize <= defaultSize) {
        return true;
    }
    return pthread_attr_setstacksize(&ioAttributes, inStackSize) == 0;
}

bool startPthread(const std::shared_ptr<ThreadObject>& inThread, size_t inStackSize) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    auto* start = new (std::nothrow) std::shared_ptr<ThreadObject>(inThread);
    pthread_t thread;
    const bool started = start != nullptr &&
                         pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                         applyStackSize(attributes, inStackSize) &&
                         pthread_create(&thread, &attributes, &ThreadObject::run, start) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        delete start;
    }
    return started;
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t inStackSize, LPTHREAD_START_ROUTINE inStartAddress,
                    LPVOID inParameter, DWORD inCreationFlags, LPDWORD outThreadId) {
    if (inStartAddress == nullptr) {
        return nullptr;
    }
    try {
        auto thread = std::make_shared<ThreadObject>(inStartAddress, inParameter,
                                                     (inCreationFlags & CREATE_SUSPENDED) != 0);
        HANDLE handle = registerHandle(thread);
        if (handle == nullptr) {
            return nullptr;
        }
        if (!startPthread(thread, inStackSize)) {
            CloseHandle(handle);
            return nullptr;
        }
        const DWORD threadId = thread->awaitThreadId();
        if (outThreadId != nullptr) {
            *outThreadId = threadId;
        }
        return handle;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

DWORD ResumeThread(HANDLE inThread) {
    std::shared_ptr<ThreadObject> thread = findHandleOf<ThreadObject>(inThread);
    return thread == nullptr ? static_cast<DWORD>(-1) : thread->resume();
}

BOOL GetExitCodeThread(HANDLE inThread, LPDWORD outExitCode) {
    std::shared_ptr<ThreadObject> thread = findHandleOf<ThreadObject>(inThread);
    if (thread == nullptr || outExitCode == nullptr) {
        return FALSE;
    }
    *outExitCode = thread->exitCode();
    return TRUE;
}

BOOL TerminateThread(HANDLE, DWORD) {
    return FALSE;
}

void CoUninitialize() {}
