// The lock interface every framework lock implements; the name only
// serves deadlock reports.
// Every implementation is safe for concurrent use; the lock orders are
// those of the locks' owners.
#ifndef OX_MUTEX_H
#define OX_MUTEX_H

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

    const std::string& getName() const { return itsName; }

protected:
    std::string itsName;

private:
    oxMutex(const oxMutex&) = delete;
    oxMutex& operator=(const oxMutex&) = delete;
};

#endif
