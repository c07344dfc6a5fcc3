// The preferences file as the tool uses it: one store on one file, opened,
// read and written, each failure reported on standard error (the line the
// user knows, then why). Every store call of the tool but the four keys'
// own is made here.
// Not for concurrent use: runs on the first thread; the store takes its
// lock and, through it, the file's lock.
#ifndef OX_SETTINGS_FILE_H
#define OX_SETTINGS_FILE_H

#include <functional>
#include <string>

#include "oxPreferences.h"

class oxDatabaseSettings;

class oxSettingsFile {
public:
    // inStopCheck: true once the user asked to stop (Ctrl+C, a hang-up);
    // a write then gives up and leaves the file as it was.
    oxSettingsFile(const std::string& inFileName, const std::function<bool()>& inStopCheck);

    // Every operation below that returns false has reported why.

    // Reads the file; a missing one counts as empty when it could be
    // created (inCheckOnly: or when nothing is to be created).
    bool open(bool inCheckOnly);
    // Reads the file to show it: false when it is missing or cannot be read
    // whole (a key past text the reader stops at would show as not set).
    bool openWhole();
    // Writes the changes unless nothing changed.
    bool write();
    // Writes (inCheckOnly: only compares) when the file's bytes would
    // change, and tells whether they would. outBackupName, when given and
    // not inCheckOnly: a file that changes is first copied beside it, and
    // the copy named there (and on standard error), even when the write
    // then fails.
    bool writeIfChanged(bool inCheckOnly, bool& outChanged, std::string* outBackupName = nullptr);

    void readSettings(oxDatabaseSettings& outSettings);
    void applySettings(const oxDatabaseSettings& inSettings);

    const std::string& getFileName() const { return itsFileName; }
    // inLine, then the reason on a line of its own; a stop request or an
    // interrupt says only that nothing changed.
    void failWithReason(const char* inLine, const std::string& inReason);

private:
    // True for a success; otherwise reports the failure (inFailureLine and
    // the reason, or the interrupt) and gives false.
    bool succeeded(const oxStoreResult& inResult, const char* inFailureLine);
    void reportInterrupted();

    oxSettingsFile(const oxSettingsFile&) = delete;
    oxSettingsFile& operator=(const oxSettingsFile&) = delete;

    std::string itsFileName;
    std::function<bool()> itsStopCheck;
    oxPreferences itsStore;
};

#endif
