#include "oxPreferences.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "oxFileLock.h"
#include "oxPropertiesText.h"
#include "oxRawLog.h"
#include "oxStMutex.h"
#include "oxStream.h"
#include "oxStringUtil.h"
#include "oxWin32.h"

namespace {
// Writers hold the file lock for one write only, never while a person
// types, so a longer wait means a writer that hangs.
const uint32_t kFileLockWaitMilliseconds = 10000;
const char kByteOrderMark[] = "\xEF\xBB\xBF";
const size_t kByteOrderMarkLength = 3;
const char kNoFileName[] = "the file has no name";
const char kMissing[] = "there is no such file";
const char kUnreadable[] = "it is not a regular file that this user may read";
const char kInterrupted[] = "interrupted";

// The time of a backup's name, in UTC: "YYYYMMDDTHHMMSSZ".
std::string makeBackupStamp() {
    oxDate date(1, true);
    oxTime time(1, true);
    // Read again when midnight came between the two.
    for (oxDate again(1, true); again.getDay() != date.getDay(); again = oxDate(1, true)) {
        date = again;
        time = oxTime(1, true);
    }
    char stamp[40];  // room for any value the fields can hold
    snprintf(stamp, sizeof stamp, "%04u%02u%02uT%02u%02u%02uZ", date.getYear(), date.getMonth(),
             date.getDay(), time.getHour(), time.getMinute(), time.getSecond());
    return stamp;
}

// The line (from 1) that holds byte inOffset of the file. Read again for
// it, since the table took the bytes over: this is for a message, and
// rare.
size_t lineOfOffset(const std::string& inName, size_t inOffset) {
    std::string bytes;
    oxFileVersion version;
    if (readFileContents(inName, bytes, version) != oxFileAccess::ok)
        return 1;
    const size_t end = std::min(inOffset, bytes.size());
    return 1 + static_cast<size_t>(
                   std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

std::string foldedKey(const std::string& inKey) {
    std::string folded(inKey.c_str());  // keys compare up to a zero byte
    for (char& c : folded)
        c = toUpperAscii(c);
    return folded;
}
}  // namespace

oxPreferences::oxPreferences(oxReading inReading, oxWriting inWriting)
    : itsMutex(sourceLocation(__FILE__, __LINE__)),
      itsReadOnce(inReading == readOnce),
      itsReadCount(0),
      itsAutoWrite(inWriting == writeAfterEveryChange),
      itsFileRejected(false),
      itsHasByteOrderMark(false),
      itsHasForeignText(false),
      itsForeignTextLine(0) {}

void oxPreferences::setFileName(const std::string& inName) {
    oxStMutex lock(itsMutex);
    itsFileName = inName;
}

bool oxPreferences::exists() {
    oxStMutex lock(itsMutex);
    // Only a regular file is opened, so a FIFO never blocks the call.
    oxFileVersion version;
    if (getFileVersion(itsFileName, version) != oxFileAccess::ok)
        return false;
    std::ifstream file(itsFileName, std::ios::in | std::ios::binary);
    return file.is_open();
}

bool oxPreferences::createFile() {
    oxStMutex lock(itsMutex);
    oxFileVersion created;
    if (itsFileName.empty() || createFileIfAbsent(itsFileName, created) != oxFileAccess::ok)
        return false;
    itsCreatedVersion = created;
    itsFileVersion = created;
    getFileTime(itsFileName, itsFileDate, itsFileTime);
    return true;
}

bool oxPreferences::removeCreatedFile() {
    oxStMutex lock(itsMutex);
    if (!itsCreatedVersion.itsExists)
        return false;
    // Without the file lock, whose file would then be left behind: the
    // version is checked just before the removal, and a writer always
    // changes it.
    const bool removed = removeFileIfUnchanged(itsFileName, itsCreatedVersion);
    if (removed) {
        itsCreatedVersion = oxFileVersion();
        itsFileVersion = oxFileVersion();
    }
    return removed;
}

oxStoreResult oxPreferences::read() {
    oxStMutex lock(itsMutex);
    return readPreferences();
}

oxStoreResult oxPreferences::readIfExists() {
    oxStMutex lock(itsMutex);
    oxFileVersion current;
    if (itsFileName.empty() || getFileVersion(itsFileName, current) != oxFileAccess::missing)
        return readPreferences();
    itsProperties.clear();
    itsFileRejected = false;
    itsHasForeignText = false;
    itsFileVersion = current;
    ++itsReadCount;
    return oxStoreResult();
}

oxStoreResult oxPreferences::write(bool inForce) {
    oxStMutex lock(itsMutex);
    if (!inForce && !itsProperties.isModified())
        return oxStoreResult();
    return writePreferences();
}

oxStoreResult oxPreferences::writeIfChanged(bool& outChanged, std::string* outBackupName) {
    oxStMutex lock(itsMutex);
    if (outBackupName != nullptr)
        outBackupName->clear();
    return writePreferences(&outChanged, outBackupName);
}

oxStoreResult oxPreferences::wouldChange(bool& outChanged) {
    oxStMutex lock(itsMutex);
    if (itsFileName.empty())
        return oxStoreResult::failure(oxStoreResult::noFileName, kNoFileName);
    oxStoreResult result = restoreInterruptedWrite(false);
    if (!result)
        return result;
    oxFileVersion current;
    const oxFileAccess access = getFileVersion(itsFileName, current);
    if (access == oxFileAccess::missing) {
        outChanged = true;  // a write would create it
        return oxStoreResult();
    }
    if (access == oxFileAccess::refused)
        return oxStoreResult::failure(oxStoreResult::unreadable, kUnreadable);
    if (!(result = takeInOthersChanges(false)))
        return result;
    if (itsHasForeignText)
        return foreignTextFailure();
    bool holds = false;
    if (!(result = fileHoldsContents(holds)))
        return result;
    outChanged = !holds;
    return oxStoreResult();
}

bool oxPreferences::set(const std::string& inKey, const std::string& inValue) {
    oxStMutex lock(itsMutex);
    if (!oxProperties::isValidKey(inKey))
        return false;
    readPreferences();
    itsProperties.set(inKey, inValue);
    rememberChange(inKey, inValue, false);
    return !itsAutoWrite || static_cast<bool>(writePreferences());
}

void oxPreferences::remove(const std::string& inKey) {
    oxStMutex lock(itsMutex);
    readPreferences();
    itsProperties.remove(inKey);
    rememberChange(inKey, std::string(), true);
    if (itsAutoWrite)
        writePreferences();
}

bool oxPreferences::get(const std::string& inKey, std::string& outValue) {
    oxStMutex lock(itsMutex);
    readPreferences();
    return itsProperties.get(inKey, outValue);
}

bool oxPreferences::isModified() {
    oxStMutex lock(itsMutex);
    return itsProperties.isModified();
}

uint32_t oxPreferences::getReadCount() {
    oxStMutex lock(itsMutex);
    return itsReadCount;
}

void oxPreferences::setStopCheck(const std::function<bool()>& inStopRequested) {
    oxStMutex lock(itsMutex);
    itsStopRequested = inStopRequested;
}

size_t oxPreferences::getForeignTextLine() {
    oxStMutex lock(itsMutex);
    return itsHasForeignText ? itsForeignTextLine : 0;
}

bool oxPreferences::isStopRequested() const {
    return itsStopRequested && itsStopRequested();
}

oxStoreResult oxPreferences::failure(oxStoreResult::oxKind inKind, const std::string& inReason) const {
    if (isStopRequested())
        return oxStoreResult::failure(oxStoreResult::interrupted, kInterrupted);
    return oxStoreResult::failure(inKind, inReason);
}

oxStoreResult oxPreferences::foreignTextFailure() const {
    return oxStoreResult::failure(oxStoreResult::foreignText,
                                  "line " + std::to_string(itsForeignTextLine) +
                                      " holds text the tool does not read, which a write would lose",
                                  itsForeignTextLine);
}

oxStoreResult oxPreferences::restoreInterruptedWrite(bool inLockHeld) {
    if (!hasInterruptedWrite(itsFileName))
        return oxStoreResult();
    std::string reason;
    if (inLockHeld)
        return ::restoreInterruptedWrite(itsFileName, reason)
                   ? oxStoreResult()
                   : oxStoreResult::failure(oxStoreResult::unreadable, reason);
    // Only under the lock: a live writer's journal stands there too.
    oxFileLock fileLock(itsFileName, kFileLockWaitMilliseconds, itsStopRequested);
    if (!fileLock.isHeld())
        return failure(oxStoreResult::lockUnavailable, fileLock.getFailureReason());
    return ::restoreInterruptedWrite(itsFileName, reason)
               ? oxStoreResult()
               : oxStoreResult::failure(oxStoreResult::unreadable, reason);
}

oxStoreResult oxPreferences::readPreferences() {
    if (itsFileName.empty())
        return oxStoreResult::failure(oxStoreResult::noFileName, kNoFileName);
    if (itsReadOnce && itsReadCount > 0)
        return oxStoreResult();
    oxFileVersion current;
    if (getFileVersion(itsFileName, current) == oxFileAccess::ok && current == itsFileVersion &&
        !itsFileRejected)
        return oxStoreResult();  // unchanged since it was last read or written
    const oxStoreResult result = loadFile(false);
    if (!result) {
        logReadResult("oxPreferences:readPreferences unable to read file \"%s\". Current dir \"%s\".");
        return result;
    }
    ++itsReadCount;
    logReadResult("oxPreferences:readPreferences read file \"%s\". Current dir \"%s\".");
    return result;
}

oxStoreResult oxPreferences::loadFile(bool inLockHeld) {
    std::string bytes;
    oxFileVersion version;
    const oxStoreResult restored = restoreInterruptedWrite(inLockHeld);
    const oxFileAccess access =
        restored ? readFileContents(itsFileName, bytes, version) : oxFileAccess::refused;
    itsProperties.clear();
    if (access != oxFileAccess::ok) {
        // A rejected file is parsed again at the next read, and reported
        // again; and nothing is written over it meanwhile.
        itsFileRejected = access == oxFileAccess::refused;
        if (!restored)
            return restored;
        return access == oxFileAccess::missing
                   ? oxStoreResult::failure(oxStoreResult::missing, kMissing)
                   : oxStoreResult::failure(oxStoreResult::unreadable, kUnreadable);
    }
    itsHasByteOrderMark = bytes.compare(0, kByteOrderMarkLength, kByteOrderMark) == 0;
    const size_t start = itsHasByteOrderMark ? kByteOrderMarkLength : 0;
    const size_t length = bytes.size();
    size_t stop = 0;
    if (!oxPropertiesText::readFromBuffer(itsProperties, std::move(bytes), start, stop)) {
        // The reader stops at the start of the item it could not read.
        itsFileRejected = true;
        const size_t line = lineOfOffset(itsFileName, start + stop);
        return oxStoreResult::failure(
            oxStoreResult::malformed,
            "line " + std::to_string(line) + " holds an entry or comment that is not well formed", line);
    }
    // The reader skips blanks before it stops, so anything left is text
    // the table does not hold.
    itsHasForeignText = start + stop != length;
    itsForeignTextLine = itsHasForeignText ? lineOfOffset(itsFileName, start + stop) : 0;
    itsFileRejected = false;
    itsFileVersion = version;
    getFileTime(itsFileName, itsFileDate, itsFileTime);
    applyOwnChanges();
    // Keys read twice and own removals leave marked entries behind.
    itsProperties.compact();
    return oxStoreResult();
}

void oxPreferences::logReadResult(const char* inFormat) {
    if (oxRawLog::isSuppressed(6))
        return;
    oxRawLog::logFormatted(6, inFormat, itsFileName.c_str(), getCurrentDirectory().c_str());
}

oxStoreResult oxPreferences::writePreferences(bool* outChanged, std::string* outBackupName) {
    if (itsFileName.empty())
        return oxStoreResult::failure(oxStoreResult::noFileName, kNoFileName);
    if (isStopRequested())
        return oxStoreResult::failure(oxStoreResult::interrupted, kInterrupted);
    oxFileLock fileLock(itsFileName, kFileLockWaitMilliseconds, itsStopRequested);
    if (!fileLock.isHeld())
        return failure(oxStoreResult::lockUnavailable, fileLock.getFailureReason());
    oxStoreResult result = restoreInterruptedWrite(true);
    if (!result || !(result = takeInOthersChanges(true)))
        return result;
    if (itsHasForeignText)
        return foreignTextFailure();
    // Only writers holding the lock make temporary files, so any left now
    // belong to a writer that died.
    removeStaleTemporaryFiles(itsFileName);
    // The pieces are then cut from the live entries alone.
    itsProperties.compact();
    if (outChanged != nullptr) {
        bool holds = false;
        if (!(result = fileHoldsContents(holds)))
            return result;
        *outChanged = !holds;
        if (!*outChanged) {
            // The file already says what the changes say.
            itsOwnChanges.clear();
            itsChangeIndex.clear();
            return result;
        }
    }
    std::string reason;
    // Under the lock, so the copy is of the contents this write replaces.
    if (outBackupName != nullptr && !keepBackupCopy(itsFileName, makeBackupStamp(), *outBackupName, reason))
        return failure(oxStoreResult::writeFailed, reason);
    // In pieces, so a large table is not held a second time as text.
    size_t cursor = 0;
    bool first = true;
    // Called only within this call, under itsMutex, which the analysis cannot
    // see from inside the lambda.
    const auto nextPiece = [&](oxContentChunk& ioChunk) OX_NO_THREAD_SAFETY_ANALYSIS {
        if (isStopRequested())
            return oxPiece::cancelled;
        return appendContentPiece(ioChunk, cursor, first) ? oxPiece::more : oxPiece::last;
    };
    if (!replaceFileContentsInChunks(itsFileName, nextPiece, &reason))
        return failure(oxStoreResult::writeFailed, reason);
    // So that the next read sees the file as unchanged and does not read
    // back what was just written.
    getFileVersion(itsFileName, itsFileVersion);
    getFileTime(itsFileName, itsFileDate, itsFileTime);
    itsOwnChanges.clear();
    itsChangeIndex.clear();
    return oxStoreResult();
}

bool oxPreferences::appendContentPiece(oxContentChunk& ioChunk, size_t& ioCursor, bool& ioFirst) const {
    // Each piece is one write and one hint to start writing back: pieces
    // of 256 KB made an 8 MB file 33 of each, and a slower write than
    // four pieces of 2 MB, which still start the write-back early.
    const size_t kPieceBytes = 2 * 1024 * 1024;
    if (ioFirst && itsHasByteOrderMark)
        ioChunk.itsMade.append(kByteOrderMark, kByteOrderMarkLength);
    ioFirst = false;
    // Lines that stand in the table's text as they are to be written are
    // written from there.
    std::string_view lent;
    const bool more =
        oxPropertiesText::appendSome(itsProperties, ioChunk.itsMade, true, ioCursor, kPieceBytes, &lent);
    ioChunk.itsBorrowed = lent.data();
    ioChunk.itsBorrowedLength = lent.size();
    return more;
}

oxStoreResult oxPreferences::fileHoldsContents(bool& outHolds) {
    // Piece by piece, as the writer makes them.
    size_t cursor = 0;
    bool first = true;
    const auto nextPiece = [&](oxContentChunk& ioChunk) OX_NO_THREAD_SAFETY_ANALYSIS {
        return appendContentPiece(ioChunk, cursor, first) ? oxPiece::more : oxPiece::last;
    };
    const oxFileAccess access = compareFileContents(itsFileName, nextPiece, outHolds);
    if (access == oxFileAccess::missing)
        return oxStoreResult();  // a write would create it
    // A file that cannot be read now is no answer either way: saying
    // "changed" would report a change that never happened.
    if (access != oxFileAccess::ok)
        return oxStoreResult::failure(oxStoreResult::unreadable, "it cannot be read again to compare with");
    return oxStoreResult();
}

oxStoreResult oxPreferences::takeInOthersChanges(bool inLockHeld) {
    oxFileVersion current;
    const oxFileAccess access = getFileVersion(itsFileName, current);
    if (access == oxFileAccess::missing)
        return oxStoreResult();  // removed meanwhile: nothing of others' to keep
    if (access == oxFileAccess::refused)
        return oxStoreResult::failure(oxStoreResult::unreadable, kUnreadable);
    if (current == itsFileVersion && !itsFileRejected)
        return oxStoreResult();
    return loadFile(inLockHeld);
}

void oxPreferences::rememberChange(const std::string& inKey, const std::string& inValue, bool inRemoved) {
    const std::string folded = foldedKey(inKey);
    const auto found = itsChangeIndex.find(folded);
    if (found != itsChangeIndex.end()) {
        itsOwnChanges[found->second].itsValue = inValue;
        itsOwnChanges[found->second].itsRemoved = inRemoved;
        return;
    }
    itsChangeIndex.emplace(folded, itsOwnChanges.size());
    itsOwnChanges.push_back(oxOwnChange{inKey, inValue, inRemoved});
}

void oxPreferences::applyOwnChanges() {
    for (const oxOwnChange& change : itsOwnChanges) {
        if (change.itsRemoved)
            itsProperties.remove(change.itsKey);
        else
            itsProperties.set(change.itsKey, change.itsValue);
    }
}

bool oxPreferences::getFileTime(const std::string& inName, oxDate& outDate, oxTime& outTime) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(inName.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&found.ftLastWriteTime, &utc))
        return false;
    outDate = oxDate(utc.wDay, utc.wMonth, utc.wYear);
    outTime.init(utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds);
    return true;
}
