#include "oxTarnwellOptions.h"

#include <gtest/gtest.h>

#include <set>

namespace {
typedef oxTarnwellOptions::oxRow oxRow;
typedef oxTarnwellOptions::oxValueKind oxValueKind;

oxArgumentList argumentsOf(const std::vector<std::string>& inTexts) {
    oxArgumentList arguments;
    for (const std::string& text : inTexts)
        arguments.push_back({text, false});
    return arguments;
}

// The parse's error, empty when it succeeded.
std::string errorOf(const std::vector<std::string>& inTexts) {
    oxTarnwellOptions options;
    oxArgumentList arguments = argumentsOf(inTexts);
    return options.parse(arguments) ? std::string() : options.getError();
}

// A value every row takes.
std::string sampleValue(const oxRow& inRow) {
    return inRow.itsKind == oxValueKind::choice
               ? std::string(inRow.itsChoices).substr(0, std::string(inRow.itsChoices).find('|'))
               : "x";
}
}  // namespace

// What a new row must hold for parsing, --help and the completion to work.
TEST(oxTarnwellOptionsTest, EveryRowIsComplete) {
    std::set<std::string> names;
    for (const oxRow& row : oxTarnwellOptions::getRows()) {
        SCOPED_TRACE(row.itsName);
        EXPECT_EQ(std::string(row.itsName).compare(0, 2, "--"), 0);
        EXPECT_EQ(std::string(row.itsName).find_first_of("=<[ "), std::string::npos);
        EXPECT_TRUE(names.insert(row.itsName).second) << "named twice";
        EXPECT_NE(row.itsHelp, nullptr);
        // A flag is stored in a bool, a value in a text: exactly one.
        EXPECT_EQ(row.itsFlag != nullptr, row.itsKind == oxValueKind::none);
        EXPECT_EQ(row.itsText != nullptr, row.itsKind != oxValueKind::none);
        EXPECT_EQ(row.itsChoices != nullptr, row.itsKind == oxValueKind::choice);
    }
}

// The rules that hold for every row, so that a new one gets them too.
TEST(oxTarnwellOptionsTest, EveryRowIsRefusedTwiceAndWithoutItsValue) {
    for (const oxRow& row : oxTarnwellOptions::getRows()) {
        const std::string name = row.itsName;
        SCOPED_TRACE(name);
        const std::string given = row.itsFlag ? name : name + "=" + sampleValue(row);
        EXPECT_EQ(errorOf({given, given}), name + " is given twice.");
        const std::string wrong = row.itsFlag ? name + "=1" : name + "=";
        EXPECT_EQ(errorOf({wrong}), row.itsFlag ? name + " takes no value."
                                                : name + " needs a value: " + name +
                                                      oxTarnwellOptions::getValueExample(row) + ".");
    }
}

TEST(oxTarnwellOptionsTest, ValuesGoWhereTheirRowsSay) {
    oxTarnwellOptions options;
    oxArgumentList arguments =
        argumentsOf({"--provider=2", "--server=h", "-LL5", "--user=u", "--bogus", "--password-file=p",
                     "--file=f", "--check", "--detailed-exitcode"});
    ASSERT_TRUE(options.parse(arguments)) << options.getError();
    const oxTarnwellOptions::oxValues& values = options.getValues();
    EXPECT_EQ(values.itsProvider, "MSSQL");  // as stored, whatever the spelling
    EXPECT_EQ(values.itsServer, "h");
    EXPECT_EQ(values.itsUser, "u");
    EXPECT_EQ(values.itsPasswordFile, "p");
    EXPECT_EQ(values.itsFile, "f");
    EXPECT_TRUE(values.itsCheck && values.itsDetailedExitCode);
    EXPECT_FALSE(values.itsPasswordStdin || values.itsShow);
    // Only the tool's own are handled: the framework reports the rest.
    std::vector<bool> handled;
    for (const oxArgument& argument : arguments)
        handled.push_back(argument.itsHandled);
    EXPECT_EQ(handled, std::vector<bool>({true, true, false, true, false, true, true, true, true}));
    EXPECT_EQ(oxTarnwellOptions().getValues().itsFile, "preferences.cfg");
}

// Which option an error names, whatever the order on the command line.
TEST(oxTarnwellOptionsTest, CombinationErrorsNameTheFirstOptionOfTheTable) {
    const struct {
        std::vector<std::string> itsArguments;
        const char* itsError;
    } cases[] = {
        {{"--file=f"}, ""},
        {{"--show", "--file=f"}, ""},
        {{"--provider=sqlite", "--check", "--detailed-exitcode"}, ""},
        {{"--provider=mssql", "--password-stdin", "--user=u", "--server=h"}, ""},
        {{"--check", "--server=h"}, "--server needs --provider=mssql."},
        {{"--detailed-exitcode", "--password-file=p"}, "--password-file needs --provider=mssql."},
        {{"--check", "--show", "--user=u"}, "--show cannot be combined with --user."},
        {{"--password-file=p", "--provider=sqlite", "--password-stdin"},
         "--password-stdin and --password-file cannot be combined: give the password one way."},
        {{"--password-file=p", "--user=u", "--provider=1"}, "--user is not used with --provider=sqlite."},
        {{"--provider=mssql", "--password-file=p"},
         "Missing for --provider=mssql: --server=NAME; --user=NAME."},
        {{"--provider=mssql", "--server=h"},
         "Missing for --provider=mssql: --user=NAME; the password (--password-stdin or "
         "--password-file=PATH)."},
        {{"--show", "--format=JSON"}, ""},
        {{"--provider=sqlite", "--diff", "--backup", "--format=text"}, ""},
        {{"--format=json"}, "--format needs --provider or --show."},
        {{"--show", "--diff"}, "--show cannot be combined with --diff."},
        {{"--backup"}, "--backup needs --provider."},
        {{"--provider=sqlite", "--format=xml"},
         "Unknown format \"xml\": use --format=text or --format=json."},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.itsArguments.front());
        EXPECT_EQ(errorOf(test.itsArguments), test.itsError);
    }
}

// "--name value" as GNU tools take it: the next argument, unless that is an
// option; it is then handled, and "=" keeps working beside it.
TEST(oxTarnwellOptionsTest, AValueMayBeTheNextArgument) {
    const struct {
        std::vector<std::string> itsArguments;
        const char* itsError;
        const char* itsFile;
        std::vector<bool> itsHandled;
    } cases[] = {
        {{"--provider", "Sqlite", "--file", "/srv/p.cfg"}, "", "/srv/p.cfg", {true, true, true, true}},
        {{"--file", "a b", "--show", "x"}, "", "a b", {true, true, true, false}},
        {{"--show", "--format", "json", "--file=f"}, "", "f", {true, true, true, true}},
        {{"--file", "--show"}, "--file needs a value: --file=PATH.", "preferences.cfg", {false, false}},
        {{"--show", "--file"}, "--file needs a value: --file=PATH.", "preferences.cfg", {true, false}},
        {{"--file", "-LL5"}, "--file needs a value: --file=PATH.", "preferences.cfg", {false, false}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.itsArguments.front() + " " + test.itsArguments.back());
        oxTarnwellOptions options;
        oxArgumentList arguments = argumentsOf(test.itsArguments);
        EXPECT_EQ(options.parse(arguments) ? std::string() : options.getError(), test.itsError);
        EXPECT_EQ(options.getValues().itsFile, test.itsFile);
        std::vector<bool> handled;
        for (const oxArgument& argument : arguments)
            handled.push_back(argument.itsHandled);
        EXPECT_EQ(handled, test.itsHandled);
    }
}
