#include "oxSettingsReport.h"

#include <gtest/gtest.h>

#include <string>

#include "oxDatabaseSettings.h"

namespace {
void chooseMSSQL(oxDatabaseSettings& outSettings, const char* inServer, const char* inPassword) {
    std::string password = inPassword;
    outSettings.chooseMSSQL(inServer, "sa", password);
}
}  // namespace

// Changed lines come as runs, old before new; alike lines stay as context;
// the password never shows but as a word.
TEST(oxSettingsReportTest, TheDiffShowsRunsOfChangedLinesAndNoPasswordText) {
    oxDatabaseSettings none, sqlite, first, second, sameAgain;
    sqlite.chooseSQLite();
    chooseMSSQL(first, "db1", "pw1");
    chooseMSSQL(second, "db1", "pw2");
    chooseMSSQL(sameAgain, "db1", "pw1");
    const std::string head = "--- p.cfg\n+++ p.cfg\n@@ -1,4 +1,4 @@\n";
    const struct {
        const oxDatabaseSettings* itsBefore;
        const oxDatabaseSettings* itsAfter;
        std::string itsDiff;
    } cases[] = {
        {&first, &sameAgain, ""},
        {&first, &second,
         head + " Provider: MSSQL\n Server: db1\n User: sa\n-Password: (set)\n+Password: (changed)\n"},
        {&sqlite, &first,
         head + "-Provider: SQLite\n-Server: (not set)\n-User: (not set)\n-Password: (not set)\n"
                "+Provider: MSSQL\n+Server: db1\n+User: sa\n+Password: (set)\n"},
        {&none, &sqlite,
         head + "-Provider: (not set)\n+Provider: SQLite\n Server: (not set)\n User: (not set)\n"
                " Password: (not set)\n"},
    };
    for (const auto& test : cases) {
        oxSettingsReport report("p.cfg");
        report.setBeforeAndAfter(*test.itsBefore, *test.itsAfter);
        EXPECT_EQ(report.getDiff(), test.itsDiff);
    }
}

TEST(oxSettingsReportTest, JsonStringsAreEscapedAndAlwaysUTF8) {
    const struct {
        std::string itsText;
        const char* itsJson;
    } cases[] = {
        {"DBHOST\\SQL \"x\"", R"("DBHOST\\SQL \"x\"")"},
        {std::string("a\0b\n\x1f\x7f", 6), R"("a\u0000b\u000a\u001f\u007f")"},
        {"caf\xC3\xA9 \xE2\x88\x95 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x88\x95 \xF0\x9F\x98\x80\""},
        // Latin-1, a cut sequence, an overlong form and a surrogate.
        {"caf\xE9", R"("caf\ufffd")"},
        {"\xE2\x88", R"("\ufffd\ufffd")"},
        {"\xC0\xAF", R"("\ufffd\ufffd")"},
        {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(oxSettingsReport::quoted(test.itsText), test.itsJson) << test.itsJson;
}
