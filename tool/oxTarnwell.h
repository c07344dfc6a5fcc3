// The Velqor Tarnwell Utility: records which database the server product
// uses in preferences.cfg.
// Not for concurrent use: runs on the first thread only, as its process
// object does; takes the store's lock and, through it, the file's lock.
#ifndef OX_TARNWELL_H
#define OX_TARNWELL_H

#include <string>
#include <vector>

#include "oxProcess.h"

class oxPreferences;
class oxStoreResult;

class oxTarnwell : public oxProcess {
public:
    oxTarnwell();

    void printUsage() override;
    // The framework's options, then the tool's own long options: they
    // choose the file, set the preferences without questions, or show them.
    bool parseOptions(oxArgumentList& ioArguments) override;
    oxHelpTable getOptionHelp() override;
    oxHelpTable getExitCodeHelp() override;
    // The database preferences dialogue. Ends the process with exit code 1
    // when the file cannot be read or written, or when input ends or a stop
    // is requested (Ctrl+C, a hang-up) before every answer is given (the
    // file is then left as it was).
    void run() override;

    // Asks until the password is acceptable for the provider answer (as
    // typed): SQL Server refuses ";". False at the end of input or on a
    // stop request.
    bool askPassword(const std::string& inProvider, std::string& outPassword);

private:
    // The long options as given; empty when absent.
    struct oxScriptOptions {
        std::string itsFile;
        std::string itsProvider;  // "SQLite" or "MSSQL" once checked
        std::string itsServer;
        std::string itsUser;
        std::string itsPasswordFile;
        bool itsPasswordStdin = false;
        bool itsShow = false;
        bool itsCheck = false;
        bool itsDetailedExitCode = false;
    };

    // One long option: false when it is malformed (reported); outKnown
    // tells whether it is one of the tool's.
    bool parseLongOption(const std::string& inText, std::vector<std::string>& ioSeen, bool& outKnown);
    // The combination of the options given; false when reported wrong.
    bool checkOptionCombination();
    void optionError(const std::string& inText);

    // The preferences set from the options, without questions.
    void runScripted();
    // --show: the file's preferences, the password as set or not set.
    void runShow();
    bool readScriptPassword(std::string& outPassword);
    std::string readPasswordFromInput(std::string& outLine);
    std::string readPasswordFromFile(std::string& outLine);
    const std::string& getFileName() const;

    bool askProvider(std::string& outAnswer);
    bool askServerDetails(oxPreferences& ioStore, const std::string& inProvider);
    bool askVisible(const char* inQuestion, std::string& outAnswer);
    // One answer; false when there is none to take: input ended, or the
    // answer was refused (too long, a NUL byte, prompts that cannot be
    // written) or a stop was requested by the time it came (the read is
    // ended for it), which is then reported on standard error.
    bool readAnswer(std::string& outAnswer, bool inHidden);
    // Input gave no usable answer: nothing is written, the run fails.
    void endWithoutAnswers();
    void fail(const char* inText);
    bool openStore(oxPreferences& ioStore, bool inCheckOnly);
    // inLine, then the reason on a line of its own; an interrupt instead
    // says that nothing changed.
    void failWithReason(const char* inLine, const oxStoreResult& inResult);
    void failWithReason(const char* inLine, const std::string& inReason);
    void reportInterrupted();

    // A refusal has told why the run ends without answers.
    bool itsRefusalShown;
    oxScriptOptions itsOptions;
};

#endif
