#include "oxProcess.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <thread>

#include "oxErrorMessage.h"
#include "oxException.h"
#include "oxMainThread.h"
#include "oxMessage.h"
#include "oxPathNames.h"
#include "oxRawAssert.h"
#include "oxStringUtil.h"
#include "oxThread.h"

std::atomic<oxProcess*> oxProcess::theProcess{nullptr};
std::atomic<int> oxProcess::theHandlersInFlight{0};
int oxProcess::itsNetworkStartCount = 0;

namespace {
const char* const theTitle = "Velqor Tarnwell Utility";
const char* const theMaker = "Velqor Tech";

bool isDigitIn(char inCharacter, char inHighest) {
    return inCharacter >= '0' && inCharacter <= inHighest;
}

// Upper-case hexadecimal digits of inNumber at outText, as printf's %X
// writes them, terminated; returns the end. For the crash filter, which
// may not use printf. outText holds at least 17 characters.
char* writeHex(char* outText, uintptr_t inNumber) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[inNumber % 16];
        inNumber /= 16;
    } while (inNumber != 0);
    while (count > 0)
        *outText++ = digits[--count];
    *outText = '\0';
    return outText;
}

char* writeText(char* outText, const char* inText) {
    while (*inText != '\0')
        *outText++ = *inText++;
    *outText = '\0';
    return outText;
}

// Output that never arrived (a full disk, a closed pipe) makes the run a
// failed one, whatever it did otherwise, as the GNU tools report it: on
// standard error too, where a tool's answer or warning may be its only
// output.
int32_t withOutputChecked(int32_t inExitCode) {
    const bool errorArrived = fflush(stderr) == 0 && !ferror(stderr);
    if (fflush(stdout) == 0 && !ferror(stdout))
        return errorArrived ? inExitCode : 1;
    fputs("Unable to write to standard output.\n", stderr);
    fflush(stderr);
    return 1;
}
}  // namespace

oxProcess::oxProcess(const oxBuildTexts& inBuild)
    : itsName(theTitle),
      itsDescription("Velqor Tarnwell. Writes database preferences to file."),
      itsVersion(inBuild.itsVersionNumber),
      itsFullVersion(inBuild.itsVersionNumber + " [" + inBuild.itsRevisionNumber + "]"),
      itsBuildDate(inBuild.itsBuildDate),
      itsStopEvent(nullptr),
      itsExitCode(0) {
    theProcess.store(this);
    itsStopEvent = &oxThread::getMainThread().getStopEvent();
    // The report names the check by the build record the text comes from.
    if (!oxRawLog::isSuppressed(6) && inBuild.itsRevisionNumber.empty())
        oxReportAssertion(__FILE__, __LINE__, "oxRevision::getRevisionNumber().size() > 0");
}

oxProcess::~oxProcess() {
    theProcess.store(nullptr);
    while (theHandlersInFlight.load() != 0)
        std::this_thread::yield();
}

int32_t oxProcess::start(int inArgc, const char* const* inArgv) {
    itsExitCode = 0;
    oxThread::initMainThread();
    SetConsoleCtrlHandler(consoleControlHandler, TRUE);
    SetUnhandledExceptionFilter(unhandledExceptionFilter);
    oxRawLog::prepareCrashReport();

    if (!guardedInitialize())
        return withOutputChecked(itsExitCode);
    if (!startNetworkLibrary()) {
        reportAtLevelZero(oxMessage("Unable to start network library."));
        return withOutputChecked(1);
    }

    bool statusRequested = false;
    collectArguments(inArgc, inArgv, statusRequested);
    // A name changed on its way in would write another file than the one named.
    unsigned codePage = 0;
    if (!isCommandLineExact(codePage)) {
        reportAtLevelZero(oxMessage(
            "The command line holds a character that this system's code page ($a) cannot hold, and "
            "the program would receive another one in its place. Use names and values that the code "
            "page holds.",
            'a', std::to_string(codePage)));
        stopNetworkLibrary();
        return withOutputChecked(1);
    }
    if (!parseOptions(itsArgumentList)) {
        stopNetworkLibrary();
        return withOutputChecked(itsExitCode);
    }
    for (const oxArgument& argument : itsArgumentList) {
        if (!argument.itsHandled) {
            reportUnknownOption(argument.itsText);
            return withOutputChecked(1);
        }
    }

    if (statusRequested)
        itsExitCode = getStatus();
    else
        guardedRun();
    stopNetworkLibrary();
    return withOutputChecked(itsExitCode);
}

void oxProcess::collectArguments(int inArgc, const char* const* inArgv, bool& outStatusRequested) {
    itsProgramName = inArgc > 0 && inArgv[0] != nullptr ? getFileNamePart(inArgv[0]) : theTitle;
    if (endsWith(itsProgramName, ".exe", false))
        itsProgramName.resize(itsProgramName.size() - 4);
    for (int index = 1; index < inArgc; ++index) {
        const char* text = inArgv[index];
        if (text == nullptr || text[0] == '\0')
            continue;
        if (stringsEqual(text, "-f", false) || stringsEqual(text, "-debug", false))
            continue;
        if (stringsEqual(text, "-status", false)) {
            outStatusRequested = true;
            continue;
        }
        itsArgumentList.push_back(oxArgument{text, false});
    }
}

bool oxProcess::parseOptions(oxArgumentList& ioArguments) {
    for (size_t cursor = 0; cursor < ioArguments.size(); ++cursor) {
        oxArgument& argument = ioArguments[cursor];
        const std::string& text = argument.itsText;
        if (argument.itsHandled || text.size() < 2 || text[0] != '-')
            continue;
        // The long forms Linux users type; nothing else changes.
        bool isLongHelp = text == "--help";
        bool isLongVersion = text == "--version";
        char letter = toUpperAscii(text[1]);
        if (letter == '?' || letter == 'H' || isLongHelp) {
            argument.itsHandled = true;
            if (isLongHelp)
                printHelp();
            else
                printUsage();
            return false;
        }
        if (letter == 'V' || isLongVersion) {
            argument.itsHandled = true;
            printVersion();
            return false;
        }
        if (text.size() < 3)
            continue;
        char second = toUpperAscii(text[2]);
        if (letter == 'L' && !parseLogOption(second, ioArguments, cursor))
            return false;
        if (letter == 'D' && second == 'L' && !parseDebugLevelOption(ioArguments, cursor))
            return false;
    }
    return true;
}

// inLetter: the third letter of an -L option. False when a digit option
// had no valid value (reported).
bool oxProcess::parseLogOption(char inLetter, oxArgumentList& ioArguments, size_t& ioCursor) {
    std::string value;
    switch (inLetter) {
        case 'L':
            if (!parseDigitOption(ioArguments, ioCursor, '7', "ll", value))
                return false;
            oxRawLog::itsLogLevel = value[0] - '0';
            return true;
        case 'F':
            if (!getOptionValue(3, ioArguments, ioCursor, value))
                oxRawLog::setOutput(theTitle, oxLog_file);
            else if (stringsEqual(value.c_str(), "system", false))
                oxRawLog::setOutput(theTitle, oxLog_system);
            else if (stringsEqual(value.c_str(), "console", false))
                oxRawLog::setOutput(theTitle, oxLog_console);
            else
                oxRawLog::setOutputFile(theTitle, value.c_str());
            return true;
        case 'D':
            return parseDigitOption(ioArguments, ioCursor, '5', "dl", value);
        default:
            return true;  // no row names it: the record stays unhandled
    }
}

bool oxProcess::parseDebugLevelOption(oxArgumentList& ioArguments, size_t& ioCursor) {
    std::string value;
    if (!parseDigitOption(ioArguments, ioCursor, '5', "dl", value))
        return false;
    if (value.size() >= 5 && toUpperAscii(value[4]) == 'F')
        oxRawLog::setOutput(theTitle, oxLog_file);
    return true;
}

bool oxProcess::parseDigitOption(oxArgumentList& ioArguments, size_t& ioCursor, char inHighest,
                                 const char* inName, std::string& outValue) {
    if (getOptionValue(3, ioArguments, ioCursor, outValue) && isDigitIn(outValue[0], inHighest))
        return true;
    reportIncorrectArgument(inName);
    return false;
}

void oxProcess::reportIncorrectArgument(const char* inName) {
    reportAtLevelZero(oxMessage("Incorrect argument for option \"$a\".", 'a', inName));
    // A rejected option is a failed run, not a successful one.
    itsExitCode = 1;
}

void oxProcess::reportUnknownOption(const std::string& inText) {
    reportAtLevelZero(oxMessage("Unknown option \"$a\".", 'a', inText));
    const std::string closest = findClosestOption(inText, getOptionHelp());
    std::string hint = closest.empty() ? std::string() : "Did you mean " + closest + "?\n";
    hint += "Try '" + itsProgramName + " --help'.\n";
    fflush(stdout);
    fputs(hint.c_str(), stderr);
    fflush(stderr);
}

std::vector<std::string> oxProcess::getOptionSpellings(const oxHelpTable& inHelp) {
    std::vector<std::string> spellings;
    for (const oxHelpEntry& entry : inHelp) {
        // Accepted and dropped before parsing: not worth offering.
        if (std::string(entry.itsText) == "ignored")
            continue;
        std::string rest = entry.itsTerm;
        while (!rest.empty()) {
            const size_t comma = rest.find(", ");
            const std::string spelling = rest.substr(0, comma);
            spellings.push_back(spelling.substr(0, spelling.find_first_of("<[")));
            rest = comma == std::string::npos ? std::string() : rest.substr(comma + 2);
        }
    }
    return spellings;
}

std::string oxProcess::findClosestOption(const std::string& inUnknown, const oxHelpTable& inHelp) {
    const auto nameOf = [](const std::string& inText) {
        const std::string name = inText.substr(0, inText.find('='));
        return name.substr(std::min(name.find_first_not_of('-'), name.size()));
    };
    const std::string unknown = nameOf(inUnknown);
    // A slip of a third of the letters at most, and none in a name too
    // short to tell what was meant.
    if (unknown.size() < 3)
        return std::string();
    const size_t allowed = std::max<size_t>(1, unknown.size() / 3);
    std::string closest;
    size_t best = allowed + 1;
    for (const std::string& spelling : getOptionSpellings(inHelp)) {
        const size_t distance = getEditDistance(unknown, nameOf(spelling), false);
        if (distance < best) {
            best = distance;
            closest = spelling;
        }
    }
    return closest;
}

bool oxProcess::getOptionValue(size_t inPrefixLength, oxArgumentList& ioArguments, size_t& ioCursor,
                               std::string& outValue) {
    oxArgument& argument = ioArguments[ioCursor];
    argument.itsHandled = true;
    if (argument.itsText.size() > inPrefixLength) {
        outValue = argument.itsText.substr(inPrefixLength);
        return true;
    }
    size_t next = ioCursor + 1;
    if (next >= ioArguments.size() || ioArguments[next].itsText.empty() ||
        ioArguments[next].itsText[0] == '-')
        return false;
    ioCursor = next;
    outValue = ioArguments[next].itsText;
    ioArguments[next].itsHandled = true;
    return true;
}

void oxProcess::printUsage() {
    const std::string& buildDate = itsBuildDate;
    std::string title = itsName + ", version " + itsFullVersion;
    if (!itsDescription.empty())
        title += " -- " + itsDescription;
    writeLine("");
    writeLine(title + ".");
    writeLine("Copyright (c) " + (buildDate.size() > 7 ? buildDate.substr(7) : std::string()) + " " +
              theMaker + ". All rights reserved.");
    writeLine("Build date: " + buildDate);
    writeLine("Platform: " + getPlatformDescription());
    writeLine("");
}

// The framework's options. The manual page lists the same ones (a test
// compares them); a program's own options come from its override.
oxHelpTable oxProcess::getOptionHelp() {
    return {
        {"-?, -h", "banner and usage line"},
        {"--help", "this text: every option and the exit codes"},
        {"-V, --version", "version lines"},
        {"-LL<0-7>", "info-log level (default 3; 6 and up adds assertions and traces)"},
        {"-LF[<output>]", "info-log output: console, a file, or system (none); alone: infoLog.log"},
        {"-LD<0-5>, -DL<0-5>", "accepted for compatibility"},
        {"-status", "status query: runs nothing"},
        {"-f, -debug", "ignored"},
    };
}

oxHelpTable oxProcess::getExitCodeHelp() {
    return {
        {"0", "success"},
        {"1", "an unknown option, an incorrect option value, a failed start or lost output"},
    };
}

void oxProcess::printHelp() {
    printUsage();
    auto writeTable = [](const char* inTitle, const oxHelpTable& inTable) {
        size_t width = 0;
        for (const oxHelpEntry& entry : inTable)
            width = std::max(width, std::string(entry.itsTerm).size());
        writeLine(inTitle);
        for (const oxHelpEntry& entry : inTable) {
            std::string term(entry.itsTerm);
            writeLine("  " + term + std::string(width - term.size() + 2, ' ') + entry.itsText);
        }
    };
    writeTable("Options:", getOptionHelp());
    writeLine("");
    writeTable("Exit codes:", getExitCodeHelp());
}

void oxProcess::printVersion() {
    writeLine(itsName + ", version " + itsFullVersion);
    writeLine("Build date: " + itsBuildDate);
    writeLine("Platform: " + getPlatformDescription());
}

void oxProcess::writeLine(const std::string& inLine) {
    fputs(inLine.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

int32_t oxProcess::getStatus() {
    return 0;
}

bool oxProcess::initialize() {
    return true;
}

void oxProcess::beforeRun() {}

void oxProcess::afterRun() {}

void oxProcess::reportException(const std::exception& inException) {
    reportAtLevelZero(errorMessageFromException(inException));
}

void oxProcess::requestStop() {
    if (itsStopEvent != nullptr)
        itsStopEvent->set();
}

bool oxProcess::isStopRequested() {
    return itsStopEvent != nullptr && itsStopEvent->isSignaled();
}

bool oxProcess::guardedInitialize() {
    try {
        return initialize();
    } catch (const std::exception& caught) {
        reportException(caught);
    } catch (...) {
        reportInternalError(__LINE__);
    }
    return false;
}

void oxProcess::guardedRun() {
    // A stop requested before this point is forgotten.
    if (itsStopEvent != nullptr)
        itsStopEvent->reset();
    try {
        beforeRun();
        run();
    } catch (const std::exception& caught) {
        reportException(caught);
        itsExitCode = 1;
    } catch (...) {
        reportInternalError(__LINE__);
        itsExitCode = 1;
    }
    try {
        afterRun();
    } catch (...) {
        oxAssert(false);
    }
}

void oxProcess::reportAtLevelZero(const oxMessage& inMessage) {
    if (!oxRawLog::isSuppressed(0))
        oxRawLog::log(0, inMessage.getText().c_str());
}

void oxProcess::reportInternalError(long inLine) {
    oxAssert(false);
    std::string text = std::string(
                           "An internal error occurred in \"$f\" line \"$l\".  Please notify "
                           "Velqor Tech Support at ") +
                       oxSupportEmail + ".";
    oxException internalError(oxErr_internal, text.c_str(), 'f', __FILE__, 'l',
                              toDecimalString(static_cast<uint32_t>(inLine)));
    reportException(internalError);
}

bool oxProcess::startNetworkLibrary() {
    if (itsNetworkStartCount == 0) {
        WSADATA data;
        if (WSAStartup(0x0002, &data) != 0)
            return false;
    }
    ++itsNetworkStartCount;
    return true;
}

bool oxProcess::stopNetworkLibrary() {
    --itsNetworkStartCount;
    return true;
}

BOOL WINAPI oxProcess::consoleControlHandler(DWORD inCtrlType) {
    if (inCtrlType != CTRL_C_EVENT && inCtrlType != CTRL_BREAK_EVENT && inCtrlType != CTRL_CLOSE_EVENT)
        return FALSE;
    ++theHandlersInFlight;
    oxProcess* process = theProcess.load();
    if (process != nullptr)
        process->requestStop();
    --theHandlersInFlight;
    return TRUE;
}

LONG WINAPI oxProcess::unhandledExceptionFilter(EXCEPTION_POINTERS* inInfo) {
    unsigned long code = 0;
    // The whole address: on 64-bit Windows an unsigned long has 32 bits only.
    uintptr_t address = 0;
    if (inInfo != nullptr && inInfo->ExceptionRecord != nullptr) {
        code = inInfo->ExceptionRecord->ExceptionCode;
        address = reinterpret_cast<uintptr_t>(inInfo->ExceptionRecord->ExceptionAddress);
    }
    // Give the terminal back first: a crash during a hidden answer must not
    // leave it without echo.
    endHiddenConsoleInput();
    // "Caught an unhandled exception 0x%lX at 0x%lX", formatted by hand: the
    // crash may have come from inside the allocator or the C library, or
    // while another thread holds the log's lock.
    char text[96];
    char* end = writeText(text, "Caught an unhandled exception 0x");
    end = writeHex(end, code);
    end = writeText(end, " at 0x");
    writeHex(end, address);
    oxRawLog::logCrash(text);
    return EXCEPTION_CONTINUE_SEARCH;
}
