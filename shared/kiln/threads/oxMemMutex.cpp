#include "oxMemMutex.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>

#include "oxException.h"
#include "oxMemMutexTesting.h"
#include "oxRawAssert.h"
#include "oxStMutex.h"
#include "oxStringUtil.h"
#include "oxThread.h"

namespace {
// Set while this thread describes and reports a deadlock.
thread_local bool theIsReportingDeadlock = false;

class oxReportingScope {
public:
    oxReportingScope() { theIsReportingDeadlock = true; }
    ~oxReportingScope() { theIsReportingDeadlock = false; }
};

// Entries of threads that wait for nothing stay in the map, so a thread's
// next wait allocates nothing; beyond this many, a new thread's first wait
// clears them (ids of threads long gone among them).
constexpr size_t kMaxBlockedThreadsEntries = 64;

// The threads met along one chain of the wait-for graph. Chains are short:
// a few fit on the stack and only a longer chain takes a set, so a search
// allocates nothing as a rule.
class oxVisitedThreads {
public:
    explicit oxVisitedThreads(DWORD inFirst) : itsNumFew(1) { itsFew[0] = inFirst; }
    // False when inThreadID has been met before.
    bool insert(DWORD inThreadID) {
        if (std::find(itsFew, itsFew + itsNumFew, inThreadID) != itsFew + itsNumFew)
            return false;
        if (itsNumFew < kNumFew) {
            itsFew[itsNumFew++] = inThreadID;
            return true;
        }
        return itsMany.insert(inThreadID).second;
    }

private:
    static constexpr size_t kNumFew = 16;
    DWORD itsFew[kNumFew];
    size_t itsNumFew;
    std::set<DWORD> itsMany;
};
}  // namespace

oxMemMutex::oxMemMutex(const char* inName) : oxSimpleMemMutex(inName) {}

oxMemMutex::oxMemMutex(const std::string& inName) : oxSimpleMemMutex(inName) {}

oxMemMutex::~oxMemMutex() = default;

oxSimpleMemMutex* oxMemMutex::createBookkeepingMutex() {
    return new oxSimpleMemMutex("oxMemMutex");
}

std::map<DWORD, oxMemMutex*>* oxMemMutex::createBlockedThreadsMap() {
    return new std::map<DWORD, oxMemMutex*>;
}

bool oxMemMutex::isReportingDeadlock() {
    return theIsReportingDeadlock;
}

oxMemMutex* getBlockingMutexForTesting(DWORD inThreadID) {
    oxStMutex bookkeeping(oxMemMutex::itsMutexPtr);
    auto entry = oxMemMutex::itsBlockedThreadsMap->find(inThreadID);
    return entry != oxMemMutex::itsBlockedThreadsMap->end() ? entry->second : nullptr;
}

size_t countWaitForEntriesForTesting() {
    oxStMutex bookkeeping(oxMemMutex::itsMutexPtr);
    return oxMemMutex::itsBlockedThreadsMap->size();
}

bool oxMemMutex::acquireLock(DWORD inThreadID) {
    // A thread that gets a free mutex at once waits for nothing and so can
    // never be part of a cycle: no bookkeeping, no search. No spinning
    // first: a spinning thread keeps pulling the lock's line from its
    // owner, and with more threads than processors it burns the time the
    // owner needs to finish.
    if (tryAcquireLock())
        return true;
    oxAssert(itsMutexPtr);
    oxAssert(itsBlockedThreadsMap);
    if (itsMutexPtr == nullptr || itsBlockedThreadsMap == nullptr)
        return oxSimpleMemMutex::acquireLock(inThreadID);
    return waitForLock(inThreadID);
}

bool oxMemMutex::waitForLock(DWORD inThreadID) {
    oxStMutex bookkeeping(itsMutexPtr);
    auto entry = itsBlockedThreadsMap->find(inThreadID);
    if (entry == itsBlockedThreadsMap->end()) {
        if (itsBlockedThreadsMap->size() >= kMaxBlockedThreadsEntries)
            forgetIdleThreads();
        entry = itsBlockedThreadsMap->emplace(inThreadID, this).first;
    } else {
        entry->second = this;
    }
    if (getLockingThreadID() != 0 && !isDeadlockFree(inThreadID, this, nullptr))
        refuseDeadlock(inThreadID);

    // Never wait with the bookkeeping lock held. The entry stays valid:
    // only its own thread removes an entry that is not null.
    bookkeeping.unlock();
    bool result = oxSimpleMemMutex::acquireLock(inThreadID);
    bookkeeping.lock();
    entry->second = nullptr;
    return result;
}

void oxMemMutex::forgetIdleThreads() {
    for (auto entry = itsBlockedThreadsMap->begin(); entry != itsBlockedThreadsMap->end();) {
        if (entry->second == nullptr)
            entry = itsBlockedThreadsMap->erase(entry);
        else
            ++entry;
    }
}

// REQUIRES: the bookkeeping lock held (released as the exception leaves).
void oxMemMutex::refuseDeadlock(DWORD inThreadID) {
    oxReportingScope reporting;
    std::string description = "Detected deadlock. ";
    isDeadlockFree(inThreadID, this, &description);
    itsBlockedThreadsMap->erase(inThreadID);
    oxAssertText(false, description.c_str());
    throw oxException(oxErr_internal, description.c_str());
}

bool oxMemMutex::isDeadlockFree(DWORD inThreadID, oxMemMutex* inMutex, std::string* ioDescription) {
    oxVisitedThreads visited(inThreadID);
    if (ioDescription != nullptr)
        *ioDescription += describeThread(inThreadID);
    for (oxMemMutex* current = inMutex; current != nullptr;) {
        DWORD owner = current->getLockingThreadID();
        if (owner == 0)
            return true;  // the chain ends at a free mutex
        if (ioDescription != nullptr)
            *ioDescription += "->[" + describeMutex(current) + "]-" + describeThread(owner);
        if (!visited.insert(owner))
            return false;
        auto next = itsBlockedThreadsMap->find(owner);
        current = next != itsBlockedThreadsMap->end() ? next->second : nullptr;
    }
    return true;  // the chain ends at a thread that waits for nothing
}

std::string oxMemMutex::describeThread(DWORD inThreadID) {
    std::string id = toDecimalString(inThreadID);
    // The table's lock may be part of the very cycle: only try it.
    std::string name;
    if (oxThread::tryGetThreadName(inThreadID, name) && !name.empty())
        return name + "(" + id + ")";
    return id;
}

std::string oxMemMutex::describeMutex(const oxMemMutex* inMutex) {
    std::string address = std::to_string(reinterpret_cast<uintptr_t>(inMutex));
    if (inMutex->getName().empty())
        return address;
    return inMutex->getName() + "(" + address + ")";
}
