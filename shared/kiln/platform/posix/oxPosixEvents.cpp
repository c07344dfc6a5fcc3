// Win32 events on POSIX: a flag, a waiter count and a pulse generation
// behind the handle object's lock.
#include "oxPosixHandles.h"

#include <new>

namespace {

class EventObject : public oxPosixHandleObject {
public:
    EventObject(bool inManualReset, bool inInitialState)
        : itsManualReset(inManualReset), itsSignalled(inInitialState) {}

    void set() {
        oxPosixLock lock(itsLock);
        itsSignalled = true;
        wakeWaitersLocked();
    }

    void reset() {
        oxPosixLock lock(itsLock);
        itsSignalled = false;
    }

    // Only threads already waiting hold a ticket older than the new
    // generation, so only they can be released by this pulse; a thread
    // that starts waiting afterwards waits for the next signal.
    void pulse() {
        oxPosixLock lock(itsLock);
        if (itsWaiters > itsPulseReleases) {
            ++itsGeneration;
            if (!itsManualReset) {
                ++itsPulseReleases;
            }
            wakeWaitersLocked();
        }
        itsSignalled = false;
    }

private:
    uint64_t beginWaitLocked() override {
        ++itsWaiters;
        return itsGeneration;
    }

    void endWaitLocked() override {
        --itsWaiters;
        if (itsWaiters == 0) {
            itsPulseReleases = 0;
        }
    }

    // A waiter from before a pulse takes a pulse release first, so a
    // release granted to current waiters is never left to a later one.
    bool tryEndWaitLocked(uint64_t inTicket) override {
        if (inTicket != itsGeneration) {
            if (itsManualReset) {
                return true;
            }
            if (itsPulseReleases > 0) {
                --itsPulseReleases;
                return true;
            }
        }
        if (itsSignalled) {
            if (!itsManualReset) {
                itsSignalled = false;
            }
            return true;
        }
        return false;
    }

    const bool itsManualReset;
    // The fields below are guarded by itsLock.
    bool itsSignalled;
    // Threads inside wait().
    int itsWaiters = 0;
    // Raised by every pulse that finds someone waiting.
    uint64_t itsGeneration = 0;
    // Auto-reset only: waiters from before the last pulse that may still
    // be released by it, one per pulse; never more than itsWaiters.
    int itsPulseReleases = 0;
};

std::shared_ptr<EventObject> findEvent(HANDLE inHandle) {
    return findHandleOf<EventObject>(inHandle);
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL inManualReset, BOOL inInitialState, LPCSTR inName) {
    // Named events would be shared across processes, which this does not do.
    if (inName != nullptr) {
        return nullptr;
    }
    try {
        return registerHandle(std::make_shared<EventObject>(inManualReset != FALSE, inInitialState != FALSE));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

BOOL SetEvent(HANDLE inEvent) {
    std::shared_ptr<EventObject> event = findEvent(inEvent);
    if (event == nullptr) {
        return FALSE;
    }
    event->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE inEvent) {
    std::shared_ptr<EventObject> event = findEvent(inEvent);
    if (event == nullptr) {
        return FALSE;
    }
    event->reset();
    return TRUE;
}

BOOL PulseEvent(HANDLE inEvent) {
    std::shared_ptr<EventObject> event = findEvent(inEvent);
    if (event == nullptr) {
        return FALSE;
    }
    event->pulse();
    return TRUE;
}
