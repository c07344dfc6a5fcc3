// The Velqor Tarnwell Utility: records which database the server product
// uses in preferences.cfg.
#ifndef OX_TARNWELL_H
#define OX_TARNWELL_H

#include <string>

#include "oxProcess.h"

class oxPreferences;

class oxTarnwell : public oxProcess {
public:
    oxTarnwell();

    void printUsage() override;
    oxHelpTable getExitCodeHelp() override;
    // The database preferences dialogue. Ends the process with exit code 1
    // when the file cannot be read or written, or when input ends before
    // every answer is given (the file is then left as it was).
    void run() override;

    // Asks until the password is acceptable for the provider answer (as
    // typed): SQL Server refuses ";". False at the end of input.
    bool askPassword(const std::string& inProvider, std::string& outPassword);

private:
    bool askProvider(std::string& outAnswer);
    bool askServerDetails(oxPreferences& ioStore, const std::string& inProvider);
    bool askVisible(const char* inQuestion, std::string& outAnswer);
    // One answer; false when there is none to take: input ended, or the
    // answer was refused (too long, a NUL byte, prompts that cannot be
    // written), which is then reported on standard error.
    bool readAnswer(std::string& outAnswer, bool inHidden);
    // Input gave no usable answer: nothing is written, the run fails.
    void endWithoutAnswers(oxPreferences& ioStore);
    void fail(const char* inText);

    // A refusal has told why the run ends without answers.
    bool itsRefusalShown;
};

#endif
