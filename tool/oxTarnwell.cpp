#include "oxTarnwell.h"

#include <algorithm>
#include <cstdio>

#include "oxConsole.h"
#include "oxCryptor.h"
#include "oxPlatformExtras.h"
#include "oxPlatformFiles.h"
#include "oxPreferences.h"
#include "oxRevision.h"
#include "oxStream.h"
#include "oxStringUtil.h"

namespace {
const char* const thePrompt = "> ";
const char* const theDefaultFile = "preferences.cfg";
const char* const theNotChanged = " Preferences file not changed.";

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
        case oxConsoleAnswer::interrupted:
            return "Interrupted.";
        default:
            return "Unable to write to standard output.";
    }
}
// A value for a message: bytes other than printable ASCII shown as '?', a
// long one cut.
std::string shownValue(const std::string& inValue) {
    const size_t kMostShown = 40;
    if (inValue.size() > kMostShown)
        return cutPiece(inValue);
    std::string shown = inValue;
    for (char& character : shown) {
        if (character < ' ' || character > '~')
            character = '?';
    }
    return shown;
}

// A stored value for --show: control bytes shown as '?' so that a value
// cannot drive the terminal; other bytes (UTF-8 names) as they are.
std::string shownSetting(const std::string& inValue) {
    std::string shown = inValue;
    for (char& character : shown) {
        if ((character >= 0 && character < ' ') || character == 0x7F)
            character = '?';
    }
    return shown;
}

bool isAbsolutePath(const std::string& inPath) {
    return !inPath.empty() &&
           (inPath[0] == '/' || inPath[0] == '\\' || (inPath.size() > 1 && inPath[1] == ':'));
}

// The file as --show names it: a relative name joined to the current directory.
// On Windows every separator is shown as a backslash.
std::string fullPath(const std::string& inPath) {
    const char separator = getPlatformPathSeparator();
    std::string path = inPath;
    if (!isAbsolutePath(inPath)) {
        std::string directory = getCurrentDirectory();
        if (!directory.empty() && directory.back() != separator && directory.back() != '/')
            directory += separator;
        path = directory + inPath;
    }
    for (char& character : path) {
        if (character == '/')
            character = separator;
    }
    return path;
}

// Wipes a password's storage however the scope that holds it ends.
class oxWipedOnExit {
public:
    explicit oxWipedOnExit(std::string& ioText) : itsText(ioText) {}
    ~oxWipedOnExit() { oxCryptor::wipe(itsText); }
    oxWipedOnExit(const oxWipedOnExit&) = delete;
    oxWipedOnExit& operator=(const oxWipedOnExit&) = delete;

private:
    std::string& itsText;
};

// The tool's long options: those that take a value (--name=value) and
// those that take none.
const char* const theValueOptions[] = {"--provider", "--server", "--user", "--password-file", "--file"};
const char* const theFlagOptions[] = {"--password-stdin", "--show", "--check", "--detailed-exitcode"};
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
    const oxHelpTable own = {
        {"--provider=<sqlite|mssql>", "set the provider without questions (also 1 or 2; any case)"},
        {"--server=<name>", "with --provider=mssql: the database server"},
        {"--user=<name>", "with --provider=mssql: the database user name"},
        {"--password-stdin", "with --provider=mssql: the password is the first line of standard input"},
        {"--password-file=<path>", "with --provider=mssql: the password is the first line of that file"},
        {"--check", "with --provider: tell changed or unchanged, write nothing"},
        {"--detailed-exitcode", "with --provider: exit 0 when unchanged, 2 when changed, 1 on error"},
        {"--show", "print the file, provider, server, user and whether a password is set"},
        {"--file=<path>", "use that file instead of preferences.cfg in the current directory"},
    };
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
    std::vector<std::string> seen;
    for (oxArgument& argument : ioArguments) {
        if (argument.itsHandled || argument.itsText.compare(0, 2, "--") != 0)
            continue;
        bool known = false;
        if (!parseLongOption(argument.itsText, seen, known))
            return false;
        // Any other stays unhandled: an unknown option.
        argument.itsHandled = known;
    }
    return checkOptionCombination();
}

bool oxTarnwell::parseLongOption(const std::string& inText, std::vector<std::string>& ioSeen,
                                 bool& outKnown) {
    const size_t equals = inText.find('=');
    const std::string name = inText.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    const std::string value = hasValue ? inText.substr(equals + 1) : std::string();
    bool takesValue = false;
    for (const char* option : theValueOptions)
        takesValue = takesValue || name == option;
    bool isFlag = false;
    for (const char* option : theFlagOptions)
        isFlag = isFlag || name == option;
    outKnown = takesValue || isFlag;
    if (!outKnown)
        return true;
    for (const std::string& earlier : ioSeen) {
        if (earlier == name) {
            optionError(name + " is given twice.");
            return false;
        }
    }
    ioSeen.push_back(name);
    if (isFlag) {
        if (hasValue) {
            optionError(name + " takes no value.");
            return false;
        }
        if (name == "--password-stdin")
            itsOptions.itsPasswordStdin = true;
        else if (name == "--show")
            itsOptions.itsShow = true;
        else if (name == "--check")
            itsOptions.itsCheck = true;
        else
            itsOptions.itsDetailedExitCode = true;
        return true;
    }
    if (value.empty()) {
        const char* example = name == "--provider"                            ? "=sqlite or --provider=mssql"
                              : name == "--password-file" || name == "--file" ? "=PATH"
                                                                              : "=NAME";
        optionError(name + " needs a value: " + name + example + ".");
        return false;
    }
    // The bound of the dialogue's answers holds for values too.
    if (value.size() > oxConsole_maxAnswerLength) {
        optionError(name + " refused: longer than " + std::to_string(oxConsole_maxAnswerLength) +
                    " bytes (\"" + cutPiece(value) + "\").");
        return false;
    }
    if (name == "--provider") {
        if (isSQLiteAnswer(value)) {
            itsOptions.itsProvider = "SQLite";
        } else if (isMSSQLAnswer(value)) {
            itsOptions.itsProvider = "MSSQL";
        } else {
            optionError("Unknown database provider \"" + shownValue(value) +
                        "\": use --provider=sqlite or --provider=mssql.");
            return false;
        }
    } else if (name == "--server" || name == "--user") {
        // An answer of the dialogue is one line: so is a value here.
        if (value.find_first_of("\r\n") != std::string::npos) {
            optionError(name + " refused: it contains a line break.");
            return false;
        }
        (name == "--server" ? itsOptions.itsServer : itsOptions.itsUser) = value;
    } else if (name == "--password-file") {
        itsOptions.itsPasswordFile = value;
    } else {
        itsOptions.itsFile = value;
    }
    return true;
}

bool oxTarnwell::checkOptionCombination() {
    const oxScriptOptions& options = itsOptions;
    // The options that set something, in the order --help names them.
    const std::vector<std::pair<const char*, bool>> setting = {
        {"--provider", !options.itsProvider.empty()},
        {"--server", !options.itsServer.empty()},
        {"--user", !options.itsUser.empty()},
        {"--password-stdin", options.itsPasswordStdin},
        {"--password-file", !options.itsPasswordFile.empty()},
        {"--check", options.itsCheck},
        {"--detailed-exitcode", options.itsDetailedExitCode},
    };
    if (options.itsShow) {
        for (const auto& option : setting) {
            if (option.second) {
                optionError(std::string("--show cannot be combined with ") + option.first + ".");
                return false;
            }
        }
        return true;
    }
    if (options.itsProvider.empty()) {
        for (const auto& option : setting) {
            if (option.second) {
                const bool serverDetail = std::string(option.first).compare(0, 10, "--password") == 0 ||
                                          std::string(option.first) == "--server" ||
                                          std::string(option.first) == "--user";
                optionError(std::string(option.first) + " needs " +
                            (serverDetail ? "--provider=mssql." : "--provider."));
                return false;
            }
        }
        return true;  // the dialogue
    }
    if (options.itsPasswordStdin && !options.itsPasswordFile.empty()) {
        optionError("--password-stdin and --password-file cannot be combined: give the password one way.");
        return false;
    }
    if (options.itsProvider == "SQLite") {
        for (size_t index = 1; index < 5; ++index) {
            if (setting[index].second) {
                optionError(std::string(setting[index].first) + " is not used with --provider=sqlite.");
                return false;
            }
        }
        return true;
    }
    std::string missing;
    if (options.itsServer.empty())
        missing += "; --server=NAME";
    if (options.itsUser.empty())
        missing += "; --user=NAME";
    if (!options.itsPasswordStdin && options.itsPasswordFile.empty())
        missing += "; the password (--password-stdin or --password-file=PATH)";
    if (!missing.empty()) {
        optionError("Missing for --provider=mssql: " + missing.substr(2) + ".");
        return false;
    }
    return true;
}

void oxTarnwell::optionError(const std::string& inText) {
    writeError(inText + "\n");
    itsExitCode = 1;
}

const std::string& oxTarnwell::getFileName() const {
    static const std::string theDefault(theDefaultFile);
    return itsOptions.itsFile.empty() ? theDefault : itsOptions.itsFile;
}

void oxTarnwell::run() {
    // Unbuffered, so that no copy of a piped password stays behind in the C
    // runtime's buffer: the answers are held only in strings that are wiped.
    setvbuf(stdin, nullptr, _IONBF, 0);
    if (itsOptions.itsShow)
        return runShow();
    if (!itsOptions.itsProvider.empty())
        return runScripted();
    // A password may be typed: it stays out of core dumps and debuggers.
    protectProcessMemory();
    oxPreferences store(true, false);
    store.setFileName(getFileName());
    store.setStopCheck([this] { return isStopRequested(); });
    // A missing file is made only when the answers are written, so that
    // an interrupted or killed dialogue leaves nothing behind; whether it
    // can be made is known at once.
    if (!openStore(store, false))
        return;

    std::string provider;
    if (!askProvider(provider))
        return endWithoutAnswers();
    if (isSQLiteAnswer(provider)) {
        store.set("Database", "SQLite");
        store.remove("DatabaseServer");
        store.remove("DatabaseUsername");
        store.remove("DatabasePassword");
    } else {
        store.set("Database", "MSSQL");
        if (!askServerDetails(store, provider))
            return endWithoutAnswers();
    }
    const oxStoreResult written = store.write(false);
    if (!written)
        failWithReason("Unable to write preferences file.", written);
}

// Reads the file into the store; a missing one counts as empty when it
// could be created (inCheckOnly: or when nothing is to be created).
// Reports and returns false when the run cannot go on.
bool oxTarnwell::openStore(oxPreferences& ioStore, bool inCheckOnly) {
    const std::string& name = getFileName();
    oxFileVersion version;
    if (!inCheckOnly && getFileVersion(name, version) == oxFileAccess::missing && !canCreateFile(name)) {
        failWithReason("Unable to read preferences file.",
                       "there is no such file, and it cannot be created there");
        return false;
    }
    const oxStoreResult result = ioStore.readIfExists();
    if (!result)
        failWithReason("Unable to read preferences file.", result);
    return static_cast<bool>(result);
}

// The specified line, then why in plain words on the next line; an
// interrupt says only that nothing changed.
void oxTarnwell::failWithReason(const char* inLine, const oxStoreResult& inResult) {
    if (inResult.getKind() == oxStoreResult::interrupted)
        return reportInterrupted();
    failWithReason(inLine, inResult.getReason());
}

void oxTarnwell::failWithReason(const char* inLine, const std::string& inReason) {
    if (isStopRequested())
        return reportInterrupted();
    fail(inLine);
    if (!inReason.empty())
        writeError("\"" + getFileName() + "\": " + inReason + ".\n");
}

void oxTarnwell::reportInterrupted() {
    writeError("Interrupted. Preferences file not changed.\n");
    itsExitCode = 1;
}

// Nothing was created before the answers: the directory is as it was.
void oxTarnwell::endWithoutAnswers() {
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
    const oxWipedOnExit wiped(password);
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
        writeError(refusalText(answer, outAnswer, inHidden) + " Preferences file not changed.\n");
        itsRefusalShown = true;
        // Told here; the check at exit is for output nobody has looked at.
        if (answer == oxConsoleAnswer::outputFailed)
            clearerr(stdout);
    }
    return false;
}

// The password of --password-stdin or --password-file: the first line, its
// line end (LF, CR LF, or a CR at the very end) not included. Refusals are
// reported. Every copy is wiped but the one in outPassword, which the
// caller wipes.
bool oxTarnwell::readScriptPassword(std::string& outPassword) {
    std::string refusal;
    if (itsOptions.itsPasswordStdin)
        refusal = readPasswordFromInput(outPassword);
    else
        refusal = readPasswordFromFile(outPassword);
    // A CR left inside is a line end of another system, not a password byte.
    if (!refusal.empty()) {
    } else if (outPassword.find('\r') != std::string::npos) {
        refusal = "Password refused: it contains a carriage return (CR) before its line end.";
    } else if (outPassword.empty()) {
        refusal = "Password refused: it is empty.";
    } else if (outPassword.find(';') != std::string::npos) {
        refusal = "; is not allowed in a password for MSSQL.";
    }
    if (refusal.empty())
        return true;
    oxCryptor::wipe(outPassword);
    writeError(refusal + theNotChanged + "\n");
    return false;
}

// The refusal, or empty when outLine holds the line.
std::string oxTarnwell::readPasswordFromInput(std::string& outLine) {
    // Not echoed when typed at a terminal; piped, it is read as the
    // dialogue reads a piped answer. No prompt either way.
    const bool typed = _isatty(_fileno(stdin)) != 0;
    // The bytes as sent, on every platform.
    if (!typed)
        setStandardInputBinary();
    const oxConsoleAnswer answer = readLine("", outLine, typed, [this] { return isStopRequested(); });
    if (answer == oxConsoleAnswer::interrupted || isStopRequested())
        return "Interrupted.";
    if (answer == oxConsoleAnswer::ended)
        return "--password-stdin: standard input holds no password.";
    if (answer != oxConsoleAnswer::answered)
        return refusalText(answer, outLine, true);
    return std::string();
}

std::string oxTarnwell::readPasswordFromFile(std::string& outLine) {
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

// The preferences from the options: no question is asked. The same keys,
// encryption, safe write and refusals as the dialogue; written only when
// the file's bytes would change.
void oxTarnwell::runScripted() {
    const bool mssql = itsOptions.itsProvider == "MSSQL";
    const bool check = itsOptions.itsCheck;
    std::string password;
    const oxWipedOnExit wiped(password);
    if (mssql)
        protectProcessMemory();
    if (mssql && !readScriptPassword(password)) {
        itsExitCode = 1;
        return;
    }
    const std::string& name = getFileName();
    oxPreferences store(true, false);
    store.setFileName(name);
    store.setStopCheck([this] { return isStopRequested(); });
    // --check creates nothing; a missing file is then one that would be.
    if (!openStore(store, check))
        return;
    if (mssql) {
        oxCryptor cryptor("");
        cryptor.encrypt(password, password);
        store.set("Database", "MSSQL");
        store.set("DatabaseServer", itsOptions.itsServer);
        store.set("DatabaseUsername", itsOptions.itsUser);
        store.set("DatabasePassword", password);
    } else {
        store.set("Database", "SQLite");
        store.remove("DatabaseServer");
        store.remove("DatabaseUsername");
        store.remove("DatabasePassword");
    }
    bool changed = false;
    const oxStoreResult result = check ? store.wouldChange(changed) : store.writeIfChanged(changed);
    if (!result)
        return failWithReason("Unable to write preferences file.", result);
    writeError(std::string(changed ? "changed" : "unchanged") + (check ? " (--check, nothing written)" : "") +
               ": " + name + "\n");
    if (changed && itsOptions.itsDetailedExitCode)
        itsExitCode = 2;
}

// Never creates or changes the file, and never shows the stored password
// text: anyone with the program can decrypt it. What the file holds is
// shown only when it was read whole: a key past text the reader stops at
// would otherwise show as "not set".
void oxTarnwell::runShow() {
    const std::string& name = getFileName();
    oxPreferences store(true, false);
    store.setFileName(name);
    store.setStopCheck([this] { return isStopRequested(); });
    oxFileVersion version;
    if (getFileVersion(name, version) == oxFileAccess::missing)
        return fail(("There is no preferences file \"" + name + "\".").c_str());
    const oxStoreResult result = store.read();
    if (!result)
        return failWithReason("Unable to read preferences file.", result);
    if (const size_t line = store.getForeignTextLine())
        return failWithReason("Unable to read preferences file.",
                              "line " + std::to_string(line) +
                                  " holds text the tool does not read, so the file cannot be shown whole");
    const auto shown = [&store](const char* inKey) {
        std::string value;
        return store.get(inKey, value) ? shownSetting(value) : std::string("not set");
    };
    std::string password;
    const bool passwordSet = store.get("DatabasePassword", password) && !password.empty();
    writeLine("File: " + fullPath(name));
    writeLine("Provider: " + shown("Database"));
    writeLine("Server: " + shown("DatabaseServer"));
    writeLine("User: " + shown("DatabaseUsername"));
    writeLine(std::string("Password: ") + (passwordSet ? "set" : "not set"));
    unsigned permissions = 0;
    // Only a stored password makes others' reading matter.
    if (passwordSet && isReadableByOthers(name, permissions)) {
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", permissions);
        writeError("Warning: \"" + name + "\" can be read by group or others (mode " + mode +
                   "); whoever reads it can decrypt the password.\n");
    }
}
