// The framework's persistent key/value store: a property table kept in
// step with a small text file. Reads the file on demand, re-reads it only
// when it has changed (another version of the file: its identity, size or
// times to full precision), and writes the whole table back when asked or,
// if so configured, after every change.
//
// Other writers, in this process or others, are expected: every write
// holds the file's companion lock ("<name>.lock") and first takes in what
// they wrote since this store read the file, with this store's own changes
// (the keys it set or removed since its last write) on top. So writers of
// different keys keep each other's; the last one wins for the same key.
// The store never replaces a file it could not read whole: one it cannot
// read or parse, or one holding text beyond its entries.
//
// Safe for concurrent use: every public operation holds itsMutex. Lock
// order: itsMutex, then the file lock, then the info log's lock.
#ifndef OX_PREFERENCES_H
#define OX_PREFERENCES_H

#include <cstdint>
#include <functional>
#include <string>

#include <unordered_map>
#include <vector>

#include "oxDate.h"
#include "oxMemMutex.h"
#include "oxPlatformFiles.h"
#include "oxProperties.h"
#include "oxStoreResult.h"
#include "oxTime.h"

class oxPreferences {
public:
    // Named at the call, so that the two choices cannot be swapped.
    // readOnce: once a read has succeeded, never read again;
    // readWhenChanged: read again whenever the file changed.
    enum oxReading { readWhenChanged, readOnce };
    // writeAfterEveryChange: write the table after every set and remove.
    enum oxWriting { writeWhenAsked, writeAfterEveryChange };
    oxPreferences(oxReading inReading, oxWriting inWriting);

    // Every public operation holds itsMutex from start to end; none throws
    // for its own reasons (failures come back as false, or as a result that
    // says why).

    // Keeps the read count and the recorded file time.
    void setFileName(const std::string& inName);
    // Whether the file is a regular file that can be opened for reading
    // now; the table is untouched. Never blocks.
    bool exists();
    // Creates the file empty when there is no file of that name at all,
    // never replacing one; true when this call created it. The new file
    // then counts as read (it holds nothing).
    bool createFile();
    // Removes the file createFile made, as long as it is still exactly the
    // file made then (nothing was written to it since); true when removed.
    bool removeCreatedFile();
    // Reads and writes fail with a result that says why (oxStoreResult):
    // a kind, the reason in plain words and, for text in the file, its line.
    oxStoreResult read();
    // read, except that a missing file counts as an empty one that was
    // read (a later write creates it), so that nothing needs to be created
    // before the changes are known.
    oxStoreResult readIfExists();
    // Writes when inForce or the table is modified; otherwise succeeds at
    // once. The file is replaced in one step: a failed write leaves it as it
    // was. Fails also when the file lock cannot be had within a few seconds,
    // when the file changed and cannot be read again, or when it holds text
    // beyond its entries (which the table could not keep).
    oxStoreResult write(bool inForce);
    // For callers that report "changed" or "unchanged": what write(true)
    // would put in the file now (others' changes taken in, this store's on
    // top) is compared with the file's current bytes. writeIfChanged writes
    // only when they differ, comparing and writing under the file lock;
    // when they are equal nothing is written and the file keeps its
    // identity and times. wouldChange compares only: it takes no lock and
    // creates, writes and removes nothing. outChanged: the bytes differ, or
    // there is no file. Fails, with outChanged untouched, where write would
    // fail: the file cannot be read (again) or holds text beyond its
    // entries, or (writeIfChanged) the lock or the write failed.
    // outBackupName, when given: a file that is there and is to change is
    // first copied beside it (keepBackupCopy: "<name>.<UTC time>~"), under
    // the file lock; it names the copy, and stays empty when none was made.
    // A copy that cannot be made fails the write before the file changes;
    // one made before a write that then failed is kept and named.
    oxStoreResult writeIfChanged(bool& outChanged, std::string* outBackupName = nullptr);
    oxStoreResult wouldChange(bool& outChanged);
    // Refuses (false, nothing stored) a key that is not made of name
    // characters, since the file could not be read back.
    bool set(const std::string& inKey, const std::string& inValue);
    void remove(const std::string& inKey);
    // The stored value of a key, after reading the file if it is due.
    bool get(const std::string& inKey, std::string& outValue);

    bool isModified();
    uint32_t getReadCount();

    // A check that says when the caller wants to stop (Ctrl+C): a write
    // then gives up before the file changes, while it waits for the file
    // lock or between the pieces it writes, and fails, leaving the file as
    // it was. None by default.
    void setStopCheck(const std::function<bool()>& inStopRequested);
    // The line (from 1) at which the last read stopped before the end of
    // the file, at text it does not read; 0 when it read the file whole.
    // The entries before that line are in the table, those after are not.
    size_t getForeignTextLine();

    // The file's last-write time in UTC, to the millisecond. False, with
    // the outputs untouched, when the file is not found.
    static bool getFileTime(const std::string& inName, oxDate& outDate, oxTime& outTime);

private:
    oxPreferences(const oxPreferences&) = delete;
    oxPreferences& operator=(const oxPreferences&) = delete;

    // A change this store made since its last write: a value set, or the
    // key removed.
    struct oxOwnChange {
        std::string itsKey;
        std::string itsValue;
        bool itsRemoved;
    };

    // All of these require itsMutex held.
    oxStoreResult readPreferences() OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // outChanged null: always writes; otherwise writes only when the
    // contents differ from the file's bytes and tells whether they did.
    oxStoreResult writePreferences(bool* outChanged = nullptr, std::string* outBackupName = nullptr)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // The next piece of the file's contents (byte-order mark, then the
    // entries); true while more follow. Start with ioCursor 0 and ioFirst.
    bool appendContentPiece(oxContentChunk& ioChunk, size_t& ioCursor, bool& ioFirst) const
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    bool isStopRequested() const OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // outHolds: the file's bytes now are exactly the contents write would
    // put there. False (with the reason) when the file cannot be read.
    oxStoreResult fileHoldsContents(bool& outHolds) OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    void logReadResult(const char* inFormat) OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // Reads and parses the file into the table, own changes on top.
    // inLockHeld: the caller holds the file lock (it is not taken again).
    oxStoreResult loadFile(bool inLockHeld) OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // Loads the file again when it is not the version this store last read
    // or wrote.
    oxStoreResult takeInOthersChanges(bool inLockHeld) OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // Puts back the old contents of a write in place whose writer died,
    // before the file is looked at; takes the file lock for it unless
    // inLockHeld.
    oxStoreResult restoreInterruptedWrite(bool inLockHeld) OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    // The kind of a failed lock or write: interrupted when a stop was asked.
    oxStoreResult failure(oxStoreResult::oxKind inKind, const std::string& inReason) const
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    oxStoreResult foreignTextFailure() const OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    void rememberChange(const std::string& inKey, const std::string& inValue, bool inRemoved)
        OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);
    void applyOwnChanges() OX_EXCLUSIVE_LOCKS_REQUIRED(itsMutex);

    std::string itsFileName OX_GUARDED_BY(itsMutex);
    oxProperties itsProperties OX_GUARDED_BY(itsMutex);
    oxMemMutex itsMutex;
    oxDate itsFileDate OX_GUARDED_BY(itsMutex);
    oxTime itsFileTime OX_GUARDED_BY(itsMutex);
    // Set at construction and never changed: read without the lock.
    const bool itsReadOnce;
    uint32_t itsReadCount OX_GUARDED_BY(itsMutex);
    const bool itsAutoWrite;
    // Set when the file was there but could not be read or parsed: the
    // table may hold fewer entries than the file, so nothing is written
    // over it until a read succeeds.
    bool itsFileRejected OX_GUARDED_BY(itsMutex);
    // The version last read or written, which the table stands for.
    oxFileVersion itsFileVersion OX_GUARDED_BY(itsMutex);
    // The file began with a UTF-8 byte-order mark, which is written back.
    bool itsHasByteOrderMark OX_GUARDED_BY(itsMutex);
    // The reader stopped before the end of the file: a write would lose
    // what follows, so none is made.
    bool itsHasForeignText OX_GUARDED_BY(itsMutex);
    // Where the reader stopped, as a line from 1; 0 when it read the whole
    // file.
    size_t itsForeignTextLine OX_GUARDED_BY(itsMutex);
    // The file createFile made, while it may still be removed.
    oxFileVersion itsCreatedVersion OX_GUARDED_BY(itsMutex);
    std::function<bool()> itsStopRequested OX_GUARDED_BY(itsMutex);
    // In the order first made; itsChangeIndex finds a key's change by its
    // upper-cased spelling.
    std::vector<oxOwnChange> itsOwnChanges OX_GUARDED_BY(itsMutex);
    std::unordered_map<std::string, size_t> itsChangeIndex OX_GUARDED_BY(itsMutex);
};

#endif
