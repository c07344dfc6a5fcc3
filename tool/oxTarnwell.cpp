#include "oxTarnwell.h"

#include <cstdio>

#include "oxConsole.h"
#include "oxCryptor.h"
#include "oxPreferences.h"
#include "oxStream.h"
#include "oxStringUtil.h"

namespace {
const char* const thePrompt = "> ";

void writeError(const std::string& inText) {
    fputs(inText.c_str(), stderr);
    fflush(stderr);
}

bool isSQLiteAnswer(const std::string& inAnswer) {
    return stringsEqual(inAnswer.c_str(), "1", false) || stringsEqual(inAnswer.c_str(), "SQLite", false);
}

bool isMSSQLAnswer(const std::string& inAnswer) {
    return stringsEqual(inAnswer.c_str(), "2", false) || stringsEqual(inAnswer.c_str(), "MSSQL", false);
}
}  // namespace

oxTarnwell::oxTarnwell() = default;

void oxTarnwell::printUsage() {
    oxProcess::printUsage();
    writeLine("usage: " + getProgramFileName());
    writeLine("");
}

// The manual page lists the same codes (a test compares them).
oxHelpTable oxTarnwell::getExitCodeHelp() {
    return {
        {"0", "preferences.cfg written; or help, version or status shown"},
        {"1", "a wrong option, preferences.cfg not read or written, or input ended early"},
    };
}

void oxTarnwell::run() {
    oxPreferences store(true, false);
    store.setFileName("preferences.cfg");
    if (!store.exists())
        store.write(true);
    if (!store.read())
        return fail("Unable to read preferences file.");

    std::string provider;
    if (!askProvider(provider))
        return fail("No more input. Preferences file not changed.");
    if (isSQLiteAnswer(provider)) {
        store.set("Database", "SQLite");
        store.remove("DatabaseServer");
        store.remove("DatabaseUsername");
        store.remove("DatabasePassword");
    } else {
        store.set("Database", "MSSQL");
        if (!askServerDetails(store, provider))
            return fail("No more input. Preferences file not changed.");
    }
    if (!store.write(false))
        fail("Unable to write preferences file.");
}

// A failure is a failed run, not a successful one.
void oxTarnwell::fail(const char* inText) {
    writeError(std::string(inText) + "\n");
    itsExitCode = 1;
}

bool oxTarnwell::askProvider(std::string& outAnswer) {
    for (;;) {
        writeLine("Choose database provider to use:");
        writeLine("\t1. SQLite");
        writeLine("\t2. MSSQL");
        if (!readLine(thePrompt, outAnswer, false))
            return false;
        if (isSQLiteAnswer(outAnswer) || isMSSQLAnswer(outAnswer))
            return true;
        writeError("\nUnknown database: " + outAnswer + "\n\n");
    }
}

bool oxTarnwell::askServerDetails(oxPreferences& ioStore, const std::string& inProvider) {
    std::string server;
    std::string user;
    std::string password;
    if (!askVisible("Enter database server:", server) || !askVisible("Enter database user name:", user))
        return false;
    writeLine("");
    writeLine("Enter database password:");
    if (!askPassword(inProvider, password))
        return false;
    oxCryptor cryptor("");
    cryptor.encrypt(password, password);
    ioStore.set("DatabaseServer", server);
    ioStore.set("DatabaseUsername", user);
    ioStore.set("DatabasePassword", password);
    return true;
}

bool oxTarnwell::askVisible(const char* inQuestion, std::string& outAnswer) {
    writeLine("");
    writeLine(inQuestion);
    return readLine(thePrompt, outAnswer, false);
}

bool oxTarnwell::askPassword(const std::string& inProvider, std::string& outPassword) {
    for (;;) {
        if (!readLine(thePrompt, outPassword, true))
            return false;
        if (!isMSSQLAnswer(inProvider) || outPassword.find(';') == std::string::npos)
            return true;
        writeLine("; is not allowed in a password for MSSQL");
    }
}
