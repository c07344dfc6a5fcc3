// What a scripted run or --show tells about the four settings, for people
// (a diff of before and after) or for programs (one JSON document). The
// password is only ever "set", "not set" or "changed": its stored text can
// be decrypted by anyone with the program.
// Not for concurrent use.
#ifndef OX_SETTINGS_REPORT_H
#define OX_SETTINGS_REPORT_H

#include <optional>
#include <string>

class oxDatabaseSettings;

class oxSettingsReport {
public:
    // inFile: the file as the user named it; the JSON gives it whole.
    explicit oxSettingsReport(const std::string& inFile);

    // What the file holds, for --show.
    void setShown(const oxDatabaseSettings& inSettings);
    // A password stored before and after that differs is "changed" after.
    void setBeforeAndAfter(const oxDatabaseSettings& inBefore, const oxDatabaseSettings& inAfter);
    void setChanged(bool inChanged) { itsChanged = inChanged; }
    void setBackup(const std::string& inPath) { itsBackup = inPath; }

    // A unified diff of the settings, one line each; empty when before and
    // after show alike.
    std::string getDiff() const;
    // --show: the settings shown, as one JSON object.
    std::string getShownJson() const;
    // A set or --check: file, changed, the backup when one was made and,
    // inWithSettings, before and after.
    std::string getRunJson(bool inWithSettings) const;

    // inText as a JSON string: quotes, backslashes and control bytes
    // escaped, bytes that are not UTF-8 given as U+FFFD.
    static std::string quoted(const std::string& inText);

private:
    enum class oxPassword { notSet, set, changed };
    struct oxShown {
        std::optional<std::string> itsProvider;
        std::optional<std::string> itsServer;
        std::optional<std::string> itsUser;
        oxPassword itsPassword = oxPassword::notSet;
    };
    static oxShown describe(const oxDatabaseSettings& inSettings);
    std::string getJsonObject(const oxShown& inShown) const;

    std::string itsFile;
    oxShown itsBefore;
    oxShown itsAfter;
    bool itsChanged = false;
    std::string itsBackup;
};

#endif
