// The tool's own long options, declared once as a table of rows: parsing,
// the --help lines, the rules on which options go together and the bash
// completion all come from it, so that a new option is one new row.
// Not for concurrent use: parsed once, on the first thread.
#ifndef OX_TARNWELL_OPTIONS_H
#define OX_TARNWELL_OPTIONS_H

#include <string>
#include <vector>

#include "oxProcess.h"

class oxTarnwellOptions {
public:
    // What the options said; a value is empty while its option is absent.
    struct oxValues {
        std::string itsFile = "preferences.cfg";
        std::string itsProvider;  // "SQLite" or "MSSQL" once checked
        std::string itsServer;
        std::string itsUser;
        std::string itsPasswordFile;
        bool itsPasswordStdin = false;
        bool itsShow = false;
        bool itsCheck = false;
        bool itsDetailedExitCode = false;
        bool itsDiff = false;
        bool itsBackup = false;
        std::string itsFormat;  // "text" or "json" once checked; empty: text
    };

    // What an option's value is: it gives the placeholder in --help, the
    // example in a "needs a value" error and what the completion offers.
    enum class oxValueKind { none, name, path, choice };
    // Which other options an option goes with.
    enum class oxRole {
        anyMode,        // for every mode, the dialogue included
        showMode,       // a mode that sets nothing: no setting option with it
        reportForm,     // how --provider or --show reports; not for the dialogue
        provider,       // sets the preferences without questions
        withProvider,   // needs the provider
        mssqlDetail,    // needs --provider=mssql, which needs it
        mssqlPassword,  // needs --provider=mssql, which needs exactly one of them
    };
    // A value's refusal (empty: taken); it may put the value in its stored form.
    typedef std::string (*oxValueCheck)(const std::string& inName, std::string& ioValue);

    struct oxRow {
        const char* itsName;
        oxValueKind itsKind;
        const char* itsChoices;  // a choice's values, "|" between them
        const char* itsHelp;
        oxRole itsRole;
        std::string oxValues::*itsText;  // where a value goes; null for a flag
        bool oxValues::*itsFlag;         // where a flag goes; null for a value
        oxValueCheck itsCheck;           // may be null
    };

    // In the order --help lists them.
    static const std::vector<oxRow>& getRows();
    // "--name=<placeholder>" or "--name", as --help names the option.
    static std::string getTerm(const oxRow& inRow);
    // How an error asks for the value: "=NAME", "=PATH", or the choices.
    static std::string getValueExample(const oxRow& inRow);

    // The tool's options among the arguments, marked handled; others are
    // left for the framework to report. A value comes after "=" or, as GNU
    // tools take it, as the next argument when that is not an option. False,
    // with getError, on the first malformed option or a combination that
    // does not go together.
    bool parse(oxArgumentList& ioArguments);

    const std::string& getError() const { return itsError; }
    const oxValues& getValues() const { return itsValues; }
    // The tool's lines of --help; they point into text this object keeps.
    oxHelpTable getHelp();

private:
    // ioNext: the argument after this one, or null; marked handled when it
    // is taken as the value.
    bool parseOption(const std::string& inText, oxArgument* ioNext, bool& outKnown);
    bool takeValue(const oxRow& inRow, std::string inValue);
    bool isGiven(const oxRow& inRow) const;
    bool checkCombination();
    bool checkShowMode();
    bool checkWithoutProvider();
    bool checkWithSQLite();
    bool checkWithMSSQL();
    bool fail(const std::string& inText);

    oxValues itsValues;
    // In command-line order.
    std::vector<const oxRow*> itsGiven;
    std::string itsError;
    std::vector<std::string> itsHelpTerms;
};

#endif
