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

// The beginning of an overlong answer, enough to recognise it; bytes other
// than printable ASCII shown as '?', so that it cannot drive the terminal.
std::string cutPiece(const std::string& inAnswer) {
    const size_t kPieceLength = 20;
    std::string piece = inAnswer.substr(0, kPieceLength);
    for (char& character : piece) {
        if (character < ' ' || character > '~')
            character = '?';
    }
    return piece + "...";
}

std::string refusalText(oxConsoleAnswer inAnswer, const std::string& inLine, bool inHidden) {
    const std::string subject = inHidden ? "Password" : "Answer";
    switch (inAnswer) {
        case oxConsoleAnswer::tooLong:
            // A password is never shown, not even in part.
            return subject + " refused: longer than " + std::to_string(oxConsole_maxAnswerLength) + " bytes" +
                   (inHidden ? std::string() : " (\"" + cutPiece(inLine) + "\")") + ".";
        case oxConsoleAnswer::nulByte:
            return subject + " refused: it contains a NUL byte.";
        default:
            return "Unable to write to standard output.";
    }
}
}  // namespace

oxTarnwell::oxTarnwell() : itsRefusalShown(false) {}

void oxTarnwell::printUsage() {
    oxProcess::printUsage();
    writeLine("usage: " + getProgramFileName());
    writeLine("");
}

// The manual page lists the same codes (a test compares them).
oxHelpTable oxTarnwell::getExitCodeHelp() {
    return {
        {"0", "preferences.cfg written; or help, version or status shown"},
        {"1", "a bad option or answer, input ended early, preferences.cfg or output failed"},
    };
}

void oxTarnwell::run() {
    oxPreferences store(true, false);
    store.setFileName("preferences.cfg");
    // Created only where there is no file at all: an existing one, even
    // one this run cannot read, is never replaced.
    store.createFile();
    if (!store.read())
        return fail("Unable to read preferences file.");

    std::string provider;
    if (!askProvider(provider))
        return endWithoutAnswers(store);
    if (isSQLiteAnswer(provider)) {
        store.set("Database", "SQLite");
        store.remove("DatabaseServer");
        store.remove("DatabaseUsername");
        store.remove("DatabasePassword");
    } else {
        store.set("Database", "MSSQL");
        if (!askServerDetails(store, provider))
            return endWithoutAnswers(store);
    }
    if (!store.write(false)) {
        store.removeCreatedFile();
        fail("Unable to write preferences file.");
    }
}

// The directory is left as it was: a file this run created goes again.
void oxTarnwell::endWithoutAnswers(oxPreferences& ioStore) {
    ioStore.removeCreatedFile();
    if (!itsRefusalShown)
        writeError("No more input. Preferences file not changed.\n");
    itsExitCode = 1;
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
        if (!readAnswer(outAnswer, false))
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
    return readAnswer(outAnswer, false);
}

bool oxTarnwell::askPassword(const std::string& inProvider, std::string& outPassword) {
    for (;;) {
        if (!readAnswer(outPassword, true))
            return false;
        if (!isMSSQLAnswer(inProvider) || outPassword.find(';') == std::string::npos)
            return true;
        writeLine("; is not allowed in a password for MSSQL");
    }
}

bool oxTarnwell::readAnswer(std::string& outAnswer, bool inHidden) {
    const oxConsoleAnswer answer = readLine(thePrompt, outAnswer, inHidden);
    if (answer == oxConsoleAnswer::answered)
        return true;
    if (answer != oxConsoleAnswer::ended) {
        writeError(refusalText(answer, outAnswer, inHidden) + " Preferences file not changed.\n");
        itsRefusalShown = true;
        // Told here; the check at exit is for output nobody has looked at.
        if (answer == oxConsoleAnswer::outputFailed)
            clearerr(stdout);
    }
    return false;
}
