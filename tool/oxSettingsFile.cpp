#include "oxSettingsFile.h"

#include "oxDatabaseSettings.h"
#include "oxPlatformFiles.h"
#include "oxToolText.h"

namespace {
const char* const theReadFailure = "Unable to read preferences file.";
const char* const theWriteFailure = "Unable to write preferences file.";
}  // namespace

oxSettingsFile::oxSettingsFile(const std::string& inFileName, const std::function<bool()>& inStopCheck)
    : itsFileName(inFileName),
      itsStopCheck(inStopCheck),
      itsStore(oxPreferences::readOnce, oxPreferences::writeWhenAsked) {
    itsStore.setFileName(inFileName);
    itsStore.setStopCheck(inStopCheck);
}

bool oxSettingsFile::open(bool inCheckOnly) {
    // A missing file is made only when the changes are written, so that an
    // interrupted or killed run leaves nothing behind; whether it can be
    // made is known at once.
    oxFileVersion version;
    if (!inCheckOnly && getFileVersion(itsFileName, version) == oxFileAccess::missing &&
        !canCreateFile(itsFileName)) {
        failWithReason(theReadFailure, "there is no such file, and it cannot be created there");
        return false;
    }
    return succeeded(itsStore.readIfExists(), theReadFailure);
}

bool oxSettingsFile::openWhole() {
    oxFileVersion version;
    if (getFileVersion(itsFileName, version) == oxFileAccess::missing) {
        writeError("There is no preferences file \"" + itsFileName + "\".\n");
        return false;
    }
    if (!succeeded(itsStore.read(), theReadFailure))
        return false;
    if (const size_t line = itsStore.getForeignTextLine()) {
        failWithReason(theReadFailure,
                       "line " + std::to_string(line) +
                           " holds text the tool does not read, so the file cannot be shown whole");
        return false;
    }
    return true;
}

bool oxSettingsFile::write() {
    return succeeded(itsStore.write(false), theWriteFailure);
}

bool oxSettingsFile::writeIfChanged(bool inCheckOnly, bool& outChanged, std::string* outBackupName) {
    if (inCheckOnly)
        return succeeded(itsStore.wouldChange(outChanged), theWriteFailure);
    const oxStoreResult result = itsStore.writeIfChanged(outChanged, outBackupName);
    if (outBackupName != nullptr && !outBackupName->empty())
        writeError("backup: " + *outBackupName + "\n");
    return succeeded(result, theWriteFailure);
}

void oxSettingsFile::readSettings(oxDatabaseSettings& outSettings) {
    outSettings.readFrom(itsStore);
}

void oxSettingsFile::applySettings(const oxDatabaseSettings& inSettings) {
    inSettings.applyTo(itsStore);
}

bool oxSettingsFile::succeeded(const oxStoreResult& inResult, const char* inFailureLine) {
    if (inResult)
        return true;
    if (inResult.getKind() == oxStoreResult::interrupted)
        reportInterrupted();
    else
        failWithReason(inFailureLine, inResult.getReason());
    return false;
}

void oxSettingsFile::reportInterrupted() {
    writeError("Interrupted. Preferences file not changed.\n");
}

void oxSettingsFile::failWithReason(const char* inLine, const std::string& inReason) {
    if (itsStopCheck())
        return reportInterrupted();
    writeError(std::string(inLine) + "\n");
    if (!inReason.empty())
        writeError("\"" + itsFileName + "\": " + inReason + ".\n");
}
