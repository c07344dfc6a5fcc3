// The process object: owns start-up, the command line, the banner and the
// outermost exception handling. Every program is one subclass, constructed
// once by the entry point on its first thread.
// Not for concurrent use: start and the main operation run on the first
// thread; only requestStop and isStopRequested are called from others (the
// console control handler). Has no lock of its own.
#ifndef OX_PROCESS_H
#define OX_PROCESS_H

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "oxWin32.h"

class oxEvent;
class oxMessage;
struct oxPlatformVersion;

// One command-line argument on its way through option parsing.
struct oxArgument {
    std::string itsText;
    bool itsHandled = false;
};
typedef std::vector<oxArgument> oxArgumentList;

// One line of the --help text: a term (an option's spellings, or an exit
// code) and what it means, in one line.
struct oxHelpEntry {
    const char* itsTerm;
    const char* itsText;
};
typedef std::vector<oxHelpEntry> oxHelpTable;

// The build record's texts, handed in by the program (its oxRevision), so
// the process layer does not reach up for them.
struct oxBuildTexts {
    std::string itsVersionNumber;
    std::string itsRevisionNumber;  // never empty: checked at construction
    std::string itsBuildDate;       // month abbreviation, day, four-digit year
};

class oxProcess {
public:
    explicit oxProcess(const oxBuildTexts& inBuild);
    virtual ~oxProcess();

    // Runs once, on the first thread; returns the exit code.
    virtual int32_t start(int inArgc, const char* const* inArgv);
    // The framework's options, in command-line order. False ends the run.
    virtual bool parseOptions(oxArgumentList& ioArguments);
    // The banner; programs add their usage line.
    virtual void printUsage();
    virtual int32_t getStatus();
    virtual bool initialize();
    virtual void beforeRun();
    virtual void run() = 0;
    virtual void afterRun();
    // Reports at level 0 what escaped initialize or the main operation.
    virtual void reportException(const std::exception& inException);
    // Safe from any thread: the console control handler calls it.
    virtual void requestStop();
    virtual bool isStopRequested();
    // --help: the usage text, then every option and the exit codes, each
    // from its table. Programs add their own options and exit codes there.
    virtual void printHelp();
    virtual oxHelpTable getOptionHelp();
    virtual oxHelpTable getExitCodeHelp();

    bool guardedInitialize();
    void guardedRun();

    // Process-wide and counted; used from the first thread only.
    static bool startNetworkLibrary();
    static bool stopNetworkLibrary();

    // Called by the platform on a thread of its own.
    static BOOL WINAPI consoleControlHandler(DWORD inCtrlType);
    static LONG WINAPI unhandledExceptionFilter(EXCEPTION_POINTERS* inInfo);

    // Marks the record under the cursor handled and finds its value: the
    // rest of its text, or the next record's whole text (also marked).
    static bool getOptionValue(size_t inPrefixLength, oxArgumentList& ioArguments, size_t& ioCursor,
                               std::string& outValue);

    // Every spelling of every option in a help table, as a user types its
    // beginning: "--file=" for "--file=<path>", "-LL" for "-LL<0-7>".
    // Options the table calls ignored are left out.
    static std::vector<std::string> getOptionSpellings(const oxHelpTable& inHelp);
    // The spelling closest to an unknown option (its value, after "=", not
    // counted), or empty when none is near enough to be what was meant.
    static std::string findClosestOption(const std::string& inUnknown, const oxHelpTable& inHelp);

    static std::string getOSDescription(bool inWithVendor, bool inWithBuild);
    static std::string getPlatformDescription();
    // The naming rules alone, for a version record already read.
    static std::string describeOS(const oxPlatformVersion& inVersion, bool inWithVendor, bool inWithBuild);
    static std::string getWindowsName(unsigned long inPlatformId, unsigned long inMajor,
                                      unsigned long inMinor, int inProductType, bool inIsServerR2);

    int32_t getExitCode() const { return itsExitCode; }
    const oxArgumentList& getArgumentList() const { return itsArgumentList; }

protected:
    void printVersion();
    static void writeLine(const std::string& inLine);

    std::string itsName;
    std::string itsDescription;
    std::string itsVersion;
    std::string itsFullVersion;
    std::string itsBuildDate;
    // The main-thread object's stop-request event; not owned, may be null.
    oxEvent* itsStopEvent;
    int32_t itsExitCode;
    oxArgumentList itsArgumentList;
    // As the user calls the program: its file name without ".exe".
    std::string itsProgramName;

private:
    oxProcess(const oxProcess&) = delete;
    oxProcess& operator=(const oxProcess&) = delete;

    void collectArguments(int inArgc, const char* const* inArgv, bool& outStatusRequested);
    bool parseLogOption(char inLetter, oxArgumentList& ioArguments, size_t& ioCursor);
    bool parseDebugLevelOption(oxArgumentList& ioArguments, size_t& ioCursor);
    bool parseDigitOption(oxArgumentList& ioArguments, size_t& ioCursor, char inHighest, const char* inName,
                          std::string& outValue);
    void reportIncorrectArgument(const char* inName);
    // The line for an unknown option, then the closest known one and where
    // to read about them all.
    void reportUnknownOption(const std::string& inText);
    void reportInternalError(long inLine);
    // inMessage at level 0; its text is built only when that is written.
    static void reportAtLevelZero(const oxMessage& inMessage);

    static std::atomic<oxProcess*> theProcess;
    // Console control handlers in flight: the destructor waits for them,
    // so a handler never calls into a process object being torn down.
    static std::atomic<int> theHandlersInFlight;
    static int itsNetworkStartCount;
};

#endif
