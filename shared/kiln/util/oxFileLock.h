// An exclusive lock on a file shared with other processes, held for one
// scope: an advisory lock on the file's companion "<name>.lock", which the
// system releases if the process dies. Not safe for concurrent use of one
// object; takes part in no lock order of the framework's own locks (it is
// taken with a store's lock held, never the other way round).
#ifndef OX_FILE_LOCK_H
#define OX_FILE_LOCK_H

#include <cstdint>
#include <functional>
#include <string>

class oxFileLock {
public:
    // Waits at most inMilliseconds for the lock, and no longer once
    // inStopRequested (when given) says so; isHeld says whether it came.
    // The lock is beside the file the name finally names (links followed).
    // May block on the file system.
    oxFileLock(const std::string& inFileName, uint32_t inMilliseconds,
               const std::function<bool()>& inStopRequested = nullptr);
    ~oxFileLock();

    bool isHeld() const { return itsToken != -1; }
    // Why the lock did not come, in plain words.
    const std::string& getFailureReason() const { return itsFailureReason; }

private:
    oxFileLock(const oxFileLock&) = delete;
    oxFileLock& operator=(const oxFileLock&) = delete;

    std::string itsFailureReason;
    intptr_t itsToken;
};

#endif
