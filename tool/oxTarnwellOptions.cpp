#include "oxTarnwellOptions.h"

#include "oxConsole.h"
#include "oxDatabaseSettings.h"
#include "oxStringUtil.h"
#include "oxToolText.h"

namespace {
typedef oxTarnwellOptions::oxRow oxRow;
typedef oxTarnwellOptions::oxRole oxRole;
typedef oxTarnwellOptions::oxValueKind oxValueKind;
typedef oxTarnwellOptions::oxValues oxValues;

// Stored in its canonical form, so that "1" and "sqlite" write the same.
std::string checkProvider(const std::string& inName, std::string& ioValue) {
    oxDatabaseSettings::oxProvider provider;
    if (!oxDatabaseSettings::parseProvider(ioValue, provider))
        return "Unknown database provider \"" + shownValue(ioValue) + "\": use " + inName + "=sqlite or " +
               inName + "=mssql.";
    ioValue = oxDatabaseSettings::getProviderName(provider);
    return std::string();
}

std::string checkFormat(const std::string& inName, std::string& ioValue) {
    for (const char* format : {"text", "json"}) {
        if (stringsEqual(ioValue.c_str(), format, false)) {
            ioValue = format;
            return std::string();
        }
    }
    return "Unknown format \"" + shownValue(ioValue) + "\": use " + inName + "=text or " + inName + "=json.";
}

// An answer of the dialogue is one line: so is a value here.
std::string refuseLineBreak(const std::string& inName, std::string& ioValue) {
    if (ioValue.find_first_of("\r\n") != std::string::npos)
        return inName + " refused: it contains a line break.";
    return std::string();
}

oxRow valueRow(const char* inName, oxValueKind inKind, oxRole inRole, const char* inHelp,
               std::string oxValues::*inText, oxTarnwellOptions::oxValueCheck inCheck = nullptr,
               const char* inChoices = nullptr) {
    return {inName, inKind, inChoices, inHelp, inRole, inText, nullptr, inCheck};
}

oxRow flagRow(const char* inName, oxRole inRole, const char* inHelp, bool oxValues::*inFlag) {
    return {inName, oxValueKind::none, nullptr, inHelp, inRole, nullptr, inFlag, nullptr};
}

bool needsMSSQL(const oxRow& inRow) {
    return inRow.itsRole == oxRole::mssqlDetail || inRow.itsRole == oxRole::mssqlPassword;
}

bool setsSomething(const oxRow& inRow) {
    return inRow.itsRole != oxRole::anyMode && inRow.itsRole != oxRole::showMode &&
           inRow.itsRole != oxRole::reportForm;
}

const oxRow& findRow(oxRole inRole) {
    for (const oxRow& row : oxTarnwellOptions::getRows()) {
        if (row.itsRole == inRole)
            return row;
    }
    return oxTarnwellOptions::getRows().front();
}

// What --help says before a row's own text.
std::string rolePrefix(oxRole inRole) {
    const std::string provider = findRow(oxRole::provider).itsName;
    if (inRole == oxRole::withProvider)
        return "with " + provider + ": ";
    if (inRole == oxRole::mssqlDetail || inRole == oxRole::mssqlPassword)
        return "with " + provider + "=mssql: ";
    if (inRole == oxRole::reportForm)
        return "with " + provider + " or " + findRow(oxRole::showMode).itsName + ": ";
    return std::string();
}

std::string joined(const std::vector<std::string>& inParts, const char* inSeparator) {
    std::string text;
    for (const std::string& part : inParts)
        text += (text.empty() ? "" : inSeparator) + part;
    return text;
}

std::vector<std::string> splitChoices(const char* inChoices) {
    std::vector<std::string> choices;
    std::string rest = inChoices ? inChoices : "";
    for (size_t bar = rest.find('|'); bar != std::string::npos; bar = rest.find('|')) {
        choices.push_back(rest.substr(0, bar));
        rest.erase(0, bar + 1);
    }
    choices.push_back(rest);
    return choices;
}
}  // namespace

const std::vector<oxRow>& oxTarnwellOptions::getRows() {
    static const std::vector<oxRow> theRows = {
        valueRow("--provider", oxValueKind::choice, oxRole::provider,
                 "set the provider without questions (also 1 or 2; any case)", &oxValues::itsProvider,
                 checkProvider, "sqlite|mssql"),
        valueRow("--server", oxValueKind::name, oxRole::mssqlDetail, "the database server",
                 &oxValues::itsServer, refuseLineBreak),
        valueRow("--user", oxValueKind::name, oxRole::mssqlDetail, "the database user name",
                 &oxValues::itsUser, refuseLineBreak),
        flagRow("--password-stdin", oxRole::mssqlPassword, "the password is the first line of standard input",
                &oxValues::itsPasswordStdin),
        valueRow("--password-file", oxValueKind::path, oxRole::mssqlPassword,
                 "the password is the first line of that file", &oxValues::itsPasswordFile),
        flagRow("--check", oxRole::withProvider, "tell changed or unchanged, write nothing",
                &oxValues::itsCheck),
        flagRow("--detailed-exitcode", oxRole::withProvider,
                "exit 0 when unchanged, 2 when changed, 1 on error", &oxValues::itsDetailedExitCode),
        flagRow(
            "--diff", oxRole::withProvider,
            "print the settings before and after as a diff (the password only as set, not set or changed)",
            &oxValues::itsDiff),
        flagRow("--backup", oxRole::withProvider,
                "keep the old file beside it as <file>.<UTC time>~ before changing it", &oxValues::itsBackup),
        valueRow("--format", oxValueKind::choice, oxRole::reportForm,
                 "json: one JSON document on standard output instead of text", &oxValues::itsFormat,
                 checkFormat, "text|json"),
        flagRow("--show", oxRole::showMode,
                "print the file, provider, server, user and whether a password is set", &oxValues::itsShow),
        valueRow("--file", oxValueKind::path, oxRole::anyMode,
                 "use that file instead of preferences.cfg in the current directory", &oxValues::itsFile),
    };
    return theRows;
}

std::string oxTarnwellOptions::getTerm(const oxRow& inRow) {
    const std::string name = inRow.itsName;
    switch (inRow.itsKind) {
        case oxValueKind::name:
            return name + "=<name>";
        case oxValueKind::path:
            return name + "=<path>";
        case oxValueKind::choice:
            return name + "=<" + inRow.itsChoices + ">";
        default:
            return name;
    }
}

std::string oxTarnwellOptions::getValueExample(const oxRow& inRow) {
    switch (inRow.itsKind) {
        case oxValueKind::name:
            return "=NAME";
        case oxValueKind::path:
            return "=PATH";
        case oxValueKind::choice: {
            std::string example;
            for (const std::string& choice : splitChoices(inRow.itsChoices))
                example += (example.empty() ? "=" : std::string(" or ") + inRow.itsName + "=") + choice;
            return example;
        }
        default:
            return std::string();
    }
}

oxHelpTable oxTarnwellOptions::getHelp() {
    // Made once: the tables handed out point into these strings.
    if (itsHelpTerms.empty()) {
        for (const oxRow& row : getRows())
            itsHelpTerms.push_back(getTerm(row));
        for (const oxRow& row : getRows())
            itsHelpTerms.push_back(rolePrefix(row.itsRole) + row.itsHelp);
    }
    oxHelpTable table;
    const size_t count = getRows().size();
    for (size_t index = 0; index < count; ++index)
        table.push_back({itsHelpTerms[index].c_str(), itsHelpTerms[count + index].c_str()});
    return table;
}

bool oxTarnwellOptions::parse(oxArgumentList& ioArguments) {
    for (size_t index = 0; index < ioArguments.size(); ++index) {
        oxArgument& argument = ioArguments[index];
        if (argument.itsHandled || argument.itsText.compare(0, 2, "--") != 0)
            continue;
        oxArgument* next = index + 1 < ioArguments.size() ? &ioArguments[index + 1] : nullptr;
        bool known = false;
        if (!parseOption(argument.itsText, next, known))
            return false;
        // Any other stays unhandled: an unknown option.
        argument.itsHandled = known;
    }
    return checkCombination();
}

bool oxTarnwellOptions::parseOption(const std::string& inText, oxArgument* ioNext, bool& outKnown) {
    const size_t equals = inText.find('=');
    const std::string name = inText.substr(0, equals);
    const oxRow* found = nullptr;
    for (const oxRow& row : getRows()) {
        if (name == row.itsName)
            found = &row;
    }
    outKnown = found != nullptr;
    if (!found)
        return true;
    if (isGiven(*found))
        return fail(name + " is given twice.");
    itsGiven.push_back(found);
    const bool hasValue = equals != std::string::npos;
    if (found->itsFlag) {
        if (hasValue)
            return fail(name + " takes no value.");
        itsValues.*found->itsFlag = true;
        return true;
    }
    if (hasValue)
        return takeValue(*found, inText.substr(equals + 1));
    // "--file PATH": the next argument, unless it is an option itself.
    const bool nextIsValue =
        ioNext != nullptr && !ioNext->itsHandled && !ioNext->itsText.empty() && ioNext->itsText[0] != '-';
    if (nextIsValue)
        ioNext->itsHandled = true;
    return takeValue(*found, nextIsValue ? ioNext->itsText : std::string());
}

bool oxTarnwellOptions::takeValue(const oxRow& inRow, std::string inValue) {
    const std::string name = inRow.itsName;
    if (inValue.empty())
        return fail(name + " needs a value: " + name + getValueExample(inRow) + ".");
    // The bound of the dialogue's answers holds for values too.
    if (inValue.size() > oxConsole_maxAnswerLength)
        return fail(name + " refused: longer than " + std::to_string(oxConsole_maxAnswerLength) +
                    " bytes (\"" + cutPiece(inValue) + "\").");
    if (inRow.itsCheck) {
        const std::string refusal = inRow.itsCheck(name, inValue);
        if (!refusal.empty())
            return fail(refusal);
    }
    itsValues.*inRow.itsText = inValue;
    return true;
}

bool oxTarnwellOptions::isGiven(const oxRow& inRow) const {
    for (const oxRow* given : itsGiven) {
        if (given == &inRow)
            return true;
    }
    return false;
}

// The checks in a fixed order, each naming the first offending option in
// the order --help lists them.
bool oxTarnwellOptions::checkCombination() {
    if (isGiven(findRow(oxRole::showMode)))
        return checkShowMode();
    if (!isGiven(findRow(oxRole::provider)))
        return checkWithoutProvider();  // the dialogue
    std::vector<std::string> passwordSources;
    for (const oxRow& row : getRows()) {
        if (row.itsRole == oxRole::mssqlPassword && isGiven(row))
            passwordSources.push_back(row.itsName);
    }
    if (passwordSources.size() > 1)
        return fail(joined(passwordSources, " and ") + " cannot be combined: give the password one way.");
    oxDatabaseSettings::oxProvider provider;
    oxDatabaseSettings::parseProvider(itsValues.itsProvider, provider);
    return provider == oxDatabaseSettings::oxProvider::sqlite ? checkWithSQLite() : checkWithMSSQL();
}

bool oxTarnwellOptions::checkShowMode() {
    const std::string show = findRow(oxRole::showMode).itsName;
    for (const oxRow& row : getRows()) {
        if (setsSomething(row) && isGiven(row))
            return fail(show + " cannot be combined with " + row.itsName + ".");
    }
    return true;
}

bool oxTarnwellOptions::checkWithoutProvider() {
    const std::string provider = findRow(oxRole::provider).itsName;
    for (const oxRow& row : getRows()) {
        if (row.itsRole == oxRole::reportForm && isGiven(row))
            return fail(std::string(row.itsName) + " needs " + provider + " or " +
                        findRow(oxRole::showMode).itsName + ".");
        if (setsSomething(row) && isGiven(row))
            return fail(std::string(row.itsName) + " needs " + provider +
                        (needsMSSQL(row) ? "=mssql." : "."));
    }
    return true;
}

bool oxTarnwellOptions::checkWithSQLite() {
    const std::string provider = findRow(oxRole::provider).itsName;
    for (const oxRow& row : getRows()) {
        if (needsMSSQL(row) && isGiven(row))
            return fail(std::string(row.itsName) + " is not used with " + provider + "=sqlite.");
    }
    return true;
}

bool oxTarnwellOptions::checkWithMSSQL() {
    std::vector<std::string> missing;
    std::vector<std::string> passwordSources;
    size_t passwordPlace = 0;
    bool passwordGiven = false;
    for (const oxRow& row : getRows()) {
        if (row.itsRole == oxRole::mssqlDetail && !isGiven(row))
            missing.push_back(row.itsName + getValueExample(row));
        if (row.itsRole == oxRole::mssqlPassword) {
            // Named where the first of them stands.
            if (passwordSources.empty())
                passwordPlace = missing.size();
            passwordSources.push_back(row.itsName + getValueExample(row));
            passwordGiven = passwordGiven || isGiven(row);
        }
    }
    if (!passwordGiven && !passwordSources.empty())
        missing.insert(missing.begin() + passwordPlace,
                       "the password (" + joined(passwordSources, " or ") + ")");
    if (missing.empty())
        return true;
    const std::string provider = findRow(oxRole::provider).itsName;
    return fail("Missing for " + provider + "=mssql: " + joined(missing, "; ") + ".");
}

bool oxTarnwellOptions::fail(const std::string& inText) {
    itsError = inText;
    return false;
}
