#include "oxPreferences.h"

#include <fstream>
#include <sstream>

#include "oxInfoLog.h"
#include "oxStMutex.h"
#include "oxStream.h"
#include "oxWin32.h"

oxPreferences::oxPreferences(bool inReadOnce, bool inAutoWrite)
    : itsMutex(sourceLocation(__FILE__, __LINE__)),
      itsReadOnce(inReadOnce),
      itsReadCount(0),
      itsAutoWrite(inAutoWrite),
      itsFileRejected(false) {}

void oxPreferences::setFileName(const std::string& inName) {
    oxStMutex lock(itsMutex);
    itsFileName = inName;
}

bool oxPreferences::exists() {
    oxStMutex lock(itsMutex);
    std::ifstream file(itsFileName, std::ios::in | std::ios::binary);
    return file.is_open() && !isDirectory(itsFileName);
}

bool oxPreferences::read() {
    oxStMutex lock(itsMutex);
    return readPreferences();
}

bool oxPreferences::write(bool inForce) {
    oxStMutex lock(itsMutex);
    if (!inForce && !itsProperties.isModified())
        return true;
    return writePreferences();
}

bool oxPreferences::set(const std::string& inKey, const std::string& inValue) {
    oxStMutex lock(itsMutex);
    if (!oxProperties::isValidKey(inKey))
        return false;
    readPreferences();
    itsProperties.set(inKey, inValue);
    return itsAutoWrite ? writePreferences() : true;
}

void oxPreferences::remove(const std::string& inKey) {
    oxStMutex lock(itsMutex);
    readPreferences();
    itsProperties.remove(inKey);
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

bool oxPreferences::readPreferences() {
    if (itsFileName.empty())
        return false;
    if (itsReadOnce && itsReadCount > 0)
        return true;
    oxDate fileDate;
    oxTime fileTime;
    bool found = getFileTime(itsFileName, fileDate, fileTime);
    if (found && fileDate == itsFileDate && fileTime == itsFileTime)
        return true;  // unchanged since it was last read or written

    // Binary on every platform: the reader takes CR LF itself. A directory
    // opens on some systems and then reads as if empty: refuse it first.
    std::ifstream file;
    if (!isDirectory(itsFileName))
        file.open(itsFileName, std::ios::in | std::ios::binary);
    itsProperties.clear();
    if (!file.is_open() || !itsProperties.readFrom(file)) {
        // The time of a rejected file is not recorded, so the next read
        // parses it again and reports the failure again.
        itsFileRejected = found;
        logReadResult("oxPreferences:readPreferences unable to read file \"%s\". Current dir \"%s\".");
        return false;
    }
    if (found) {
        itsFileDate = fileDate;
        itsFileTime = fileTime;
    }
    itsFileRejected = false;
    ++itsReadCount;
    logReadResult("oxPreferences:readPreferences read file \"%s\". Current dir \"%s\".");
    return true;
}

void oxPreferences::logReadResult(const char* inFormat) {
    if (oxInfoLog::isSuppressed(6))
        return;
    oxInfoLog::logFormatted(6, inFormat, itsFileName.c_str(), getCurrentDirectory().c_str());
}

bool oxPreferences::writePreferences() {
    if (itsFileName.empty() || itsFileRejected)
        return false;
    std::ostringstream text(std::ios::out | std::ios::binary);
    if (!itsProperties.writeTo(text, true))
        return false;
    if (!replaceFileContents(itsFileName, text.str()))
        return false;
    // So that the next read sees the file as unchanged and does not read
    // back what was just written.
    getFileTime(itsFileName, itsFileDate, itsFileTime);
    return true;
}

bool oxPreferences::isDirectory(const std::string& inName) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(inName.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
