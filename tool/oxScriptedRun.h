// The modes for scripts and fleets: the preferences set from the options
// without questions (or, with --check, only compared), and --show.
// Not for concurrent use: runs on the first thread, in place of the dialogue.
#ifndef OX_SCRIPTED_RUN_H
#define OX_SCRIPTED_RUN_H

#include <cstdint>
#include <functional>
#include <string>

#include "oxTarnwellOptions.h"

class oxDatabaseSettings;

class oxScriptedRun {
public:
    // inStopCheck: true once the user asked to stop (Ctrl+C, a hang-up).
    oxScriptedRun(const oxTarnwellOptions::oxValues& inOptions, const std::function<bool()>& inStopCheck);

    // Each returns the exit code: 0, 1 after a reported failure, or (with
    // --detailed-exitcode) 2 when the file changed or would change.

    // The same keys, encryption, safe write and refusals as the dialogue;
    // written only when the file's bytes would change.
    int32_t runSetting();
    // Never creates or changes the file, and never shows the stored
    // password text: anyone with the program can decrypt it.
    int32_t runShow();

private:
    bool readPassword(std::string& outPassword);
    std::string readPasswordFromInput(std::string& outLine);
    std::string readPasswordFromFile(std::string& outLine);
    void warnWhenReadableByOthers();
    // --show's lines: the file, then each setting.
    void writeShown(const oxDatabaseSettings& inSettings);

    const oxTarnwellOptions::oxValues& itsOptions;
    std::function<bool()> itsStopCheck;
};

#endif
