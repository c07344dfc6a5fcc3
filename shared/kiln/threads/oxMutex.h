// The lock interface every framework lock implements; the name only
// serves deadlock reports.
// Every implementation is safe for concurrent use; the lock orders are
// those of the locks' owners.
#ifndef OX_MUTEX_H
#define OX_MUTEX_H

#include <memory>
#include <string>

#include "oxThreadAnnotations.h"

class OX_CAPABILITY("mutex") oxMutex {
public:
    explicit oxMutex(const char* inName);
    explicit oxMutex(const std::string& inName);
    virtual ~oxMutex();

    // Takes the lock for the calling thread; false when it cannot be had.
    virtual bool lock() OX_TRY_ACQUIRE(true) = 0;
    // Gives one level of the lock back.
    virtual void unlock() OX_RELEASE() = 0;
    virtual bool isLocked() const = 0;

    std::string getName() const { return itsName != nullptr ? *itsName : std::string(); }

protected:
    // Apart from the object, as it is cold: a lock is then as small as the
    // standard's recursive mutex, and the data it guards can share the
    // cache line of its hot words (under contention, one line moves from
    // thread to thread instead of two). Null for an empty name.
    std::unique_ptr<const std::string> itsName;

private:
    oxMutex(const oxMutex&) = delete;
    oxMutex& operator=(const oxMutex&) = delete;
};

#endif
