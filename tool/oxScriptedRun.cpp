#include "oxScriptedRun.h"

#include <cstdio>

#include "oxConsole.h"
#include "oxCryptor.h"
#include "oxDatabaseSettings.h"
#include "oxPlatformExtras.h"
#include "oxPlatformFiles.h"
#include "oxSettingsFile.h"
#include "oxSettingsReport.h"
#include "oxStream.h"
#include "oxToolText.h"
#include "oxWipedOnExit.h"

namespace {
std::string shownOrNotSet(const std::optional<std::string>& inValue) {
    return inValue ? shownSetting(*inValue) : std::string("not set");
}

// The rules of a password from a script, the provider's among them.
std::string refuseScriptPassword(oxDatabaseSettings::oxProvider inProvider, const std::string& inPassword) {
    // A CR left inside is a line end of another system, not a password byte.
    if (inPassword.find('\r') != std::string::npos)
        return "Password refused: it contains a carriage return (CR) before its line end.";
    if (inPassword.empty())
        return "Password refused: it is empty.";
    if (const char refused = oxDatabaseSettings::findRefusedCharacter(inProvider, inPassword))
        return oxDatabaseSettings::describeRefusal(inProvider, refused) + ".";
    return std::string();
}

bool isJson(const oxTarnwellOptions::oxValues& inOptions) {
    return inOptions.itsFormat == "json";
}

bool isMSSQL(const oxTarnwellOptions::oxValues& inOptions) {
    return inOptions.itsProvider ==
           oxDatabaseSettings::getProviderName(oxDatabaseSettings::oxProvider::mssql);
}
}  // namespace

oxScriptedRun::oxScriptedRun(const oxTarnwellOptions::oxValues& inOptions,
                             const std::function<bool()>& inStopCheck)
    : itsOptions(inOptions), itsStopCheck(inStopCheck) {}

int32_t oxScriptedRun::runSetting() {
    const bool mssql = isMSSQL(itsOptions);
    const bool check = itsOptions.itsCheck;
    std::string password;
    const oxWipedOnExit wiped(password);
    if (mssql)
        protectProcessMemory();
    if (mssql && !readPassword(password))
        return 1;
    oxSettingsFile file(itsOptions.itsFile, itsStopCheck);
    // --check creates nothing; a missing file is then one that would be.
    if (!file.open(check))
        return 1;
    oxDatabaseSettings before;
    file.readSettings(before);
    oxDatabaseSettings settings;
    if (mssql)
        settings.chooseMSSQL(itsOptions.itsServer, itsOptions.itsUser, password);
    else
        settings.chooseSQLite();
    file.applySettings(settings);
    oxDatabaseSettings after;
    file.readSettings(after);
    oxSettingsReport report(itsOptions.itsFile);
    report.setBeforeAndAfter(before, after);
    bool changed = false;
    std::string backup;
    if (!file.writeIfChanged(check, changed, itsOptions.itsBackup ? &backup : nullptr))
        return 1;
    writeError(std::string(changed ? "changed" : "unchanged") + (check ? " (--check, nothing written)" : "") +
               ": " + itsOptions.itsFile + "\n");
    report.setChanged(changed);
    report.setBackup(backup);
    if (isJson(itsOptions))
        writeOutputLine(report.getRunJson(itsOptions.itsDiff));
    else if (itsOptions.itsDiff)
        writeOutput(report.getDiff());
    return changed && itsOptions.itsDetailedExitCode ? 2 : 0;
}

int32_t oxScriptedRun::runShow() {
    oxSettingsFile file(itsOptions.itsFile, itsStopCheck);
    if (!file.openWhole())
        return 1;
    oxDatabaseSettings settings;
    file.readSettings(settings);
    if (isJson(itsOptions)) {
        oxSettingsReport report(itsOptions.itsFile);
        report.setShown(settings);
        writeOutputLine(report.getShownJson());
    } else {
        writeShown(settings);
    }
    // Only a stored password makes others' reading matter.
    if (settings.hasPassword())
        warnWhenReadableByOthers();
    return 0;
}

void oxScriptedRun::writeShown(const oxDatabaseSettings& inSettings) {
    const oxDatabaseSettings& settings = inSettings;
    writeOutputLine("File: " + getFullPath(itsOptions.itsFile));
    writeOutputLine("Provider: " + shownOrNotSet(settings.getProvider()));
    writeOutputLine("Server: " + shownOrNotSet(settings.getServer()));
    writeOutputLine("User: " + shownOrNotSet(settings.getUser()));
    writeOutputLine(std::string("Password: ") + (settings.hasPassword() ? "set" : "not set"));
}

void oxScriptedRun::warnWhenReadableByOthers() {
    const std::string& name = itsOptions.itsFile;
    unsigned permissions = 0;
    if (!isReadableByOthers(name, permissions))
        return;
    char mode[8];
    snprintf(mode, sizeof mode, "%04o", permissions);
    writeError("Warning: \"" + name + "\" can be read by group or others (mode " + mode +
               "); whoever reads it can decrypt the password.\n");
}

// The password of --password-stdin or --password-file: the first line, its
// line end (LF, CR LF, or a CR at the very end) not included. Refusals are
// reported. Every copy is wiped but the one in outPassword, which the
// caller wipes.
bool oxScriptedRun::readPassword(std::string& outPassword) {
    std::string refusal =
        itsOptions.itsPasswordStdin ? readPasswordFromInput(outPassword) : readPasswordFromFile(outPassword);
    if (refusal.empty())
        refusal = refuseScriptPassword(oxDatabaseSettings::oxProvider::mssql, outPassword);
    if (refusal.empty())
        return true;
    oxCryptor::wipe(outPassword);
    writeError(refusal + theNotChanged + "\n");
    return false;
}

// The refusal, or empty when outLine holds the line.
std::string oxScriptedRun::readPasswordFromInput(std::string& outLine) {
    // Not echoed when typed at a terminal; piped, it is read as the
    // dialogue reads a piped answer. No prompt either way.
    const bool typed = _isatty(_fileno(stdin)) != 0;
    // The bytes as sent, on every platform.
    if (!typed)
        setStandardInputBinary();
    const oxConsoleAnswer answer = readLine("", outLine, typed, itsStopCheck);
    if (answer == oxConsoleAnswer::interrupted || itsStopCheck())
        return "Interrupted.";
    if (answer == oxConsoleAnswer::ended)
        return "--password-stdin: standard input holds no password.";
    if (answer != oxConsoleAnswer::answered)
        return refusalText(answer, outLine, true);
    return std::string();
}

std::string oxScriptedRun::readPasswordFromFile(std::string& outLine) {
    const std::string& path = itsOptions.itsPasswordFile;
    std::string bytes;
    oxFileVersion version;
    const oxFileAccess access = readFileContents(path, bytes, version);
    std::string refusal;
    if (access != oxFileAccess::ok) {
        refusal = "--password-file: " +
                  std::string(access == oxFileAccess::missing
                                  ? "there is no file \"" + path + "\"."
                                  : "\"" + path + "\" is not a regular file that can be read.");
    } else if (bytes.empty()) {
        refusal = "--password-file: \"" + path + "\" is empty.";
    } else {
        outLine.assign(bytes, 0, bytes.find('\n'));
        if (outLine.find('\0') != std::string::npos) {
            refusal = refusalText(oxConsoleAnswer::nulByte, outLine, true);
        } else {
            if (!outLine.empty() && outLine.back() == '\r')
                outLine.pop_back();
            if (outLine.size() > oxConsole_maxAnswerLength)
                refusal = refusalText(oxConsoleAnswer::tooLong, outLine, true);
        }
    }
    oxCryptor::wipe(bytes);
    return refusal;
}
