#include "oxTarnwell.h"

#include <cstdio>

#include "oxConsole.h"
#include "oxCryptor.h"
#include "oxDatabaseSettings.h"
#include "oxPlatformExtras.h"
#include "oxRevision.h"
#include "oxScriptedRun.h"
#include "oxSettingsFile.h"
#include "oxStream.h"
#include "oxToolText.h"
#include "oxWipedOnExit.h"

namespace {
const char* const thePrompt = "> ";
}  // namespace

oxTarnwell::oxTarnwell() : oxProcess(oxRevision::getBuildTexts()), itsRefusalShown(false) {}

void oxTarnwell::printUsage() {
    oxProcess::printUsage();
    writeLine("usage: " + getProgramFileName());
    writeLine("");
}

// The manual page lists the same options and codes (a test compares them).
oxHelpTable oxTarnwell::getOptionHelp() {
    oxHelpTable table = oxProcess::getOptionHelp();
    const oxHelpTable own = itsOptions.getHelp();
    table.insert(table.end(), own.begin(), own.end());
    return table;
}

oxHelpTable oxTarnwell::getExitCodeHelp() {
    return {
        {"0", "preferences.cfg written or unchanged; or help, version, status or --show shown"},
        {"1", "a bad option or answer, input ended early, an interrupt, preferences.cfg or output failed"},
        {"2", "with --detailed-exitcode: preferences.cfg changed (with --check: would change)"},
    };
}

bool oxTarnwell::parseOptions(oxArgumentList& ioArguments) {
    if (!oxProcess::parseOptions(ioArguments))
        return false;
    if (itsOptions.parse(ioArguments))
        return true;
    writeError(itsOptions.getError() + "\n");
    itsExitCode = 1;
    return false;
}

void oxTarnwell::run() {
    // Unbuffered, so that no copy of a piped password stays behind in the C
    // runtime's buffer: the answers are held only in strings that are wiped.
    setvbuf(stdin, nullptr, _IONBF, 0);
    const oxTarnwellOptions::oxValues& options = itsOptions.getValues();
    oxScriptedRun scripted(options, [this] { return isStopRequested(); });
    if (options.itsShow)
        itsExitCode = scripted.runShow();
    else if (!options.itsProvider.empty())
        itsExitCode = scripted.runSetting();
    else
        runDialogue();
}

void oxTarnwell::runDialogue() {
    // A password may be typed: it stays out of core dumps and debuggers.
    protectProcessMemory();
    oxSettingsFile file(itsOptions.getValues().itsFile, [this] { return isStopRequested(); });
    if (!file.open(false)) {
        itsExitCode = 1;
        return;
    }
    oxDatabaseSettings settings;
    if (!askSettings(settings))
        return endWithoutAnswers();
    file.applySettings(settings);
    if (!file.write())
        itsExitCode = 1;
}

bool oxTarnwell::askSettings(oxDatabaseSettings& outSettings) {
    std::string answer;
    if (!askProvider(answer))
        return false;
    oxDatabaseSettings::oxProvider provider;
    oxDatabaseSettings::parseProvider(answer, provider);
    if (provider == oxDatabaseSettings::oxProvider::mssql)
        return askServerDetails(outSettings, answer);
    outSettings.chooseSQLite();
    return true;
}

// Nothing was created before the answers: the directory is as it was.
void oxTarnwell::endWithoutAnswers() {
    if (!itsRefusalShown)
        writeError(std::string("No more input.") + theNotChanged + "\n");
    itsExitCode = 1;
}

bool oxTarnwell::askProvider(std::string& outAnswer) {
    oxDatabaseSettings::oxProvider provider;
    for (;;) {
        writeLine("Choose database provider to use:");
        writeLine("\t1. SQLite");
        writeLine("\t2. MSSQL");
        if (!readAnswer(outAnswer, false))
            return false;
        if (oxDatabaseSettings::parseProvider(outAnswer, provider))
            return true;
        writeError("\nUnknown database: " + outAnswer + "\n\n");
    }
}

bool oxTarnwell::askServerDetails(oxDatabaseSettings& outSettings, const std::string& inProvider) {
    std::string server;
    std::string user;
    std::string password;
    const oxWipedOnExit wiped(password);
    if (!askVisible("Enter database server:", server) || !askVisible("Enter database user name:", user))
        return false;
    writeLine("");
    writeLine("Enter database password:");
    if (!askPassword(inProvider, password))
        return false;
    outSettings.chooseMSSQL(server, user, password);
    return true;
}

bool oxTarnwell::askVisible(const char* inQuestion, std::string& outAnswer) {
    writeLine("");
    writeLine(inQuestion);
    return readAnswer(outAnswer, false);
}

bool oxTarnwell::askPassword(const std::string& inProvider, std::string& outPassword) {
    oxDatabaseSettings::oxProvider provider;
    const bool known = oxDatabaseSettings::parseProvider(inProvider, provider);
    for (;;) {
        if (!readAnswer(outPassword, true))
            return false;
        const char refused = known ? oxDatabaseSettings::findRefusedCharacter(provider, outPassword) : '\0';
        if (!refused)
            return true;
        writeLine(oxDatabaseSettings::describeRefusal(provider, refused));
    }
}

bool oxTarnwell::readAnswer(std::string& outAnswer, bool inHidden) {
    oxConsoleAnswer answer = readLine(thePrompt, outAnswer, inHidden, [this] { return isStopRequested(); });
    // The user asked to stop (Ctrl+C, a hang-up): whatever was answered
    // meanwhile is not what they want written.
    if (isStopRequested())
        answer = oxConsoleAnswer::interrupted;
    if (answer == oxConsoleAnswer::interrupted)
        oxCryptor::wipe(outAnswer);
    if (answer == oxConsoleAnswer::answered)
        return true;
    if (answer != oxConsoleAnswer::ended) {
        writeError(refusalText(answer, outAnswer, inHidden) + theNotChanged + "\n");
        itsRefusalShown = true;
        // Told here; the check at exit is for output nobody has looked at.
        if (answer == oxConsoleAnswer::outputFailed)
            clearerr(stdout);
    }
    return false;
}
