#include "oxDatabaseSettings.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "oxSettingsFile.h"
#include "oxTestFiles.h"

namespace {
typedef oxDatabaseSettings::oxProvider oxProvider;

// "secret" as the store keeps it.
const char* const theSecret = "F84EF1270BEA6F836C";

std::string entry(const std::string& inKey, const std::string& inValue) {
    return "<" + inKey + " value=\"" + inValue + "\" />\r\n";
}

const std::string theMSSQLFile = entry("Database", "MSSQL") + entry("DatabaseServer", "HOST") +
                                 entry("DatabaseUsername", "sa") + entry("DatabasePassword", theSecret);

class oxDatabaseSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        itsScratch = std::make_unique<oxScratchDirectory>(
            "oxDatabaseSettingsTest-" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    }

    std::string pathOf(const char* inName) const { return itsScratch->at(inName); }

    // inSettings written over a file holding inBefore; the bytes after.
    std::string applied(const std::string& inBefore, const oxDatabaseSettings& inSettings) {
        const std::string path = pathOf("preferences.cfg");
        writeFileBytes(path, inBefore);
        oxSettingsFile file(path, [] { return false; });
        EXPECT_TRUE(file.open(false));
        file.applySettings(inSettings);
        EXPECT_TRUE(file.write());
        return readFileBytes(path);
    }

    std::unique_ptr<oxScratchDirectory> itsScratch;
};

void chooseMSSQL(oxDatabaseSettings& ioSettings) {
    std::string password = "secret";
    ioSettings.chooseMSSQL("HOST", "sa", password);
}
}  // namespace

TEST_F(oxDatabaseSettingsTest, ProviderAnswersAreTakenWholeInAnyCase) {
    const struct {
        const char* itsAnswer;
        bool itsTaken;
        oxProvider itsProvider;
    } cases[] = {
        {"1", true, oxProvider::sqlite},      {"sqlite", true, oxProvider::sqlite},
        {"SqLite", true, oxProvider::sqlite}, {"2", true, oxProvider::mssql},
        {"MSSQL", true, oxProvider::mssql},   {"msSQL", true, oxProvider::mssql},
        {" 1", false, oxProvider::sqlite},    {"2 ", false, oxProvider::sqlite},
        {"3", false, oxProvider::sqlite},     {"SQL", false, oxProvider::sqlite},
        {"", false, oxProvider::sqlite},      {"sqlite3", false, oxProvider::sqlite},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.itsAnswer);
        oxProvider provider = test.itsTaken ? oxProvider(99) : oxProvider::sqlite;
        EXPECT_EQ(oxDatabaseSettings::parseProvider(test.itsAnswer, provider), test.itsTaken);
        if (test.itsTaken) {
            EXPECT_EQ(provider, test.itsProvider);
        }
    }
}

TEST_F(oxDatabaseSettingsTest, OnlySQLServerRefusesASemicolon) {
    const struct {
        oxProvider itsProvider;
        const char* itsPassword;
        char itsRefused;
    } cases[] = {
        {oxProvider::mssql, "a;b", ';'}, {oxProvider::mssql, ";", ';'},     {oxProvider::mssql, "ab", '\0'},
        {oxProvider::mssql, "", '\0'},   {oxProvider::sqlite, "a;b", '\0'},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.itsPassword);
        EXPECT_EQ(oxDatabaseSettings::findRefusedCharacter(test.itsProvider, test.itsPassword),
                  test.itsRefused);
    }
    EXPECT_EQ(oxDatabaseSettings::describeRefusal(oxProvider::mssql, ';'),
              "; is not allowed in a password for MSSQL");
}

TEST_F(oxDatabaseSettingsTest, ApplyingSetsTheFourKeysAndKeepsTheOthers) {
    const std::string other = entry("Other", "1");
    const struct {
        const char* itsName;
        std::string itsBefore;
        std::function<void(oxDatabaseSettings&)> itsChoose;
        std::string itsAfter;
    } cases[] = {
        {"SQLite on SQL Server", other + theMSSQLFile + entry("Last", "2"),
         [](oxDatabaseSettings& ioSettings) { ioSettings.chooseSQLite(); },
         other + entry("Database", "SQLite") + entry("Last", "2")},
        {"SQL Server on nothing", "", chooseMSSQL, theMSSQLFile},
        {"SQL Server on SQLite", entry("Database", "SQLite") + other, chooseMSSQL,
         entry("Database", "MSSQL") + other + entry("DatabaseServer", "HOST") +
             entry("DatabaseUsername", "sa") + entry("DatabasePassword", theSecret)},
        // A later choice replaces an earlier one whole.
        {"SQLite after SQL Server", other,
         [](oxDatabaseSettings& ioSettings) {
             chooseMSSQL(ioSettings);
             ioSettings.chooseSQLite();
         },
         other + entry("Database", "SQLite")},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.itsName);
        oxDatabaseSettings settings;
        test.itsChoose(settings);
        EXPECT_EQ(applied(test.itsBefore, settings), test.itsAfter);
    }
}

TEST_F(oxDatabaseSettingsTest, ThePasswordIsEncryptedInPlace) {
    oxDatabaseSettings settings;
    std::string password = "secret";
    settings.chooseMSSQL("HOST", "sa", password);
    // The caller's copy holds no clear text; it wipes what is left.
    EXPECT_EQ(password, theSecret);
    EXPECT_TRUE(settings.hasPassword());
}

TEST_F(oxDatabaseSettingsTest, ReadingGivesWhatTheFileHoldsAndWritesItBackUnchanged) {
    const std::optional<std::string> none;
    const struct {
        std::string itsFile;
        std::optional<std::string> itsProvider, itsServer, itsUser;
        bool itsPassword;
    } cases[] = {
        {theMSSQLFile, std::string("MSSQL"), std::string("HOST"), std::string("sa"), true},
        {entry("Database", "SQLite"), std::string("SQLite"), none, none, false},
        {"", none, none, none, false},
        // Whatever a file holds, even what the tool never writes.
        {entry("Database", "Oracle") + entry("DatabaseServer", "") + entry("DatabasePassword", ""),
         std::string("Oracle"), std::string(""), none, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.itsFile);
        writeFileBytes(pathOf("source.cfg"), test.itsFile);
        oxSettingsFile source(pathOf("source.cfg"), [] { return false; });
        ASSERT_TRUE(source.open(true));
        oxDatabaseSettings settings;
        source.readSettings(settings);
        EXPECT_EQ(settings.getProvider(), test.itsProvider);
        EXPECT_EQ(settings.getServer(), test.itsServer);
        EXPECT_EQ(settings.getUser(), test.itsUser);
        EXPECT_EQ(settings.hasPassword(), test.itsPassword);
        // Written back, even the password is as it was: copied, not
        // encrypted again.
        EXPECT_EQ(applied("", settings), test.itsFile);
    }
}
