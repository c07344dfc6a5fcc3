// The Velqor Tarnwell Utility: records which database the server product
// uses in preferences.cfg.
// Not for concurrent use: runs on the first thread only, as its process
// object does; takes the store's lock and, through it, the file's lock.
#ifndef OX_TARNWELL_H
#define OX_TARNWELL_H

#include <string>

#include "oxProcess.h"
#include "oxTarnwellOptions.h"

class oxDatabaseSettings;

class oxTarnwell : public oxProcess {
public:
    oxTarnwell();

    void printUsage() override;
    // The framework's options, then the tool's own long options: they
    // choose the file, set the preferences without questions, or show them.
    bool parseOptions(oxArgumentList& ioArguments) override;
    oxHelpTable getOptionHelp() override;
    oxHelpTable getExitCodeHelp() override;
    // The database preferences dialogue, or the mode the options chose.
    // Ends the process with exit code 1 when the file cannot be read or
    // written, or when input ends or a stop is requested (Ctrl+C, a
    // hang-up) before every answer is given (the file is then left as it
    // was).
    void run() override;

    // Asks until the password is acceptable for the provider answer (as
    // typed): SQL Server refuses ";". False at the end of input or on a
    // stop request.
    bool askPassword(const std::string& inProvider, std::string& outPassword);

private:
    void runDialogue();
    // The answers as settings; false when input gave none to take.
    bool askSettings(oxDatabaseSettings& outSettings);
    bool askProvider(std::string& outAnswer);
    bool askServerDetails(oxDatabaseSettings& outSettings, const std::string& inProvider);
    bool askVisible(const char* inQuestion, std::string& outAnswer);
    // One answer; false when there is none to take: input ended, or the
    // answer was refused (too long, a NUL byte, prompts that cannot be
    // written) or a stop was requested by the time it came (the read is
    // ended for it), which is then reported on standard error.
    bool readAnswer(std::string& outAnswer, bool inHidden);
    // Input gave no usable answer: nothing is written, the run fails.
    void endWithoutAnswers();

    // A refusal has told why the run ends without answers.
    bool itsRefusalShown;
    oxTarnwellOptions itsOptions;
};

#endif
