// The framework's persistent key/value store: a property table kept in
// step with a small text file. Reads the file on demand, re-reads it only
// when its last-write time has changed, and writes the whole table back
// when asked or, if so configured, after every change.
#ifndef OX_PREFERENCES_H
#define OX_PREFERENCES_H

#include <cstdint>
#include <string>

#include "oxDate.h"
#include "oxMemMutex.h"
#include "oxProperties.h"
#include "oxTime.h"

class oxPreferences {
public:
    // inReadOnce: once a read has succeeded, never read again.
    // inAutoWrite: write the table after every set and remove.
    oxPreferences(bool inReadOnce, bool inAutoWrite);

    // Every public operation holds itsMutex from start to end; none throws
    // for its own reasons (failures come back as false).

    // Keeps the read count and the recorded file time.
    void setFileName(const std::string& inName);
    // Whether the file can be opened for reading now; the table is untouched.
    bool exists();
    bool read();
    // Writes when inForce or the table is modified; otherwise true at once.
    // The file is replaced in one step: a failed write leaves it as it was.
    bool write(bool inForce);
    // Refuses (false, nothing stored) a key that is not made of name
    // characters, since the file could not be read back.
    bool set(const std::string& inKey, const std::string& inValue);
    void remove(const std::string& inKey);
    // The stored value of a key, after reading the file if it is due.
    bool get(const std::string& inKey, std::string& outValue);

    bool isModified();
    uint32_t getReadCount();

    // The file's last-write time in UTC, to the millisecond. False, with
    // the outputs untouched, when the file is not found.
    static bool getFileTime(const std::string& inName, oxDate& outDate, oxTime& outTime);

private:
    static bool isDirectory(const std::string& inName);

    oxPreferences(const oxPreferences&) = delete;
    oxPreferences& operator=(const oxPreferences&) = delete;

    // REQUIRES: itsMutex held.
    bool readPreferences();
    bool writePreferences();
    void logReadResult(const char* inFormat);

    std::string itsFileName;
    oxProperties itsProperties;
    oxMemMutex itsMutex;
    oxDate itsFileDate;
    oxTime itsFileTime;
    bool itsReadOnce;
    uint32_t itsReadCount;
    bool itsAutoWrite;
    // Set when the file was there but could not be read or parsed: the
    // table may hold fewer entries than the file, so nothing is written
    // over it until a read succeeds.
    bool itsFileRejected;
};

#endif
