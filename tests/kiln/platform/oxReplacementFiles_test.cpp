// The names and the journal form of the files a replacement keeps beside
// a file, the same on every platform.
#include "oxReplacementFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A temporary's name is unique to its whole file name, whatever its
// length, within one component's limit, and recognised only in its own
// form.
TEST(oxReplacementFilesTest, TemporaryNamesBelongToOneFileAlone) {
    const std::string longName(300, 'a');
    const std::string otherLong = longName + "b";
    for (const std::string& name : {std::string("preferences.cfg"), longName}) {
        SCOPED_TRACE(name.size());
        const std::string temporary = temporaryNameOf(name, 42);
        EXPECT_LE(temporary.size(), 255u);
        EXPECT_TRUE(isTemporaryNameOf(temporary, name));
        EXPECT_TRUE(isTemporaryNameOf(temporaryNameOf(name, 43), name));
        EXPECT_NE(temporaryNameOf(name, 42), temporaryNameOf(name, 43));
        EXPECT_FALSE(isTemporaryNameOf(journalNameOf(name), name));
    }
    EXPECT_NE(fileNameHashOf(longName), fileNameHashOf(otherLong));
    EXPECT_FALSE(isTemporaryNameOf(temporaryNameOf(otherLong, 42), longName));
    const std::string ours = temporaryNameOf("p.cfg", 42);
    for (const std::string& foreign : {std::string(".p.cfg.Ab12Cd"), std::string(".p.cfg.backup"), ours + "~",
                                       ours.substr(1), std::string(ours).replace(ours.size() - 5, 1, "-")}) {
        EXPECT_FALSE(isTemporaryNameOf(foreign, "p.cfg")) << foreign;
    }
}

// Only a complete journal with its checksum is one: any cut, or a changed
// byte of its length, checksum or contents, makes it none (a changed
// identity names another file, which the caller then does not touch).
TEST(oxReplacementFilesTest, OnlyACompleteJournalIsTaken) {
    const std::string old("old\0contents\r\n", 14);
    const oxJournalHeader header = journalHeaderFor(7, 1234567890123ULL, old);
    const std::string journal = makeJournalHeader(header) + old;
    oxJournalHeader parsed;
    size_t start = 0;
    ASSERT_TRUE(parseJournal(journal, parsed, start));
    EXPECT_EQ(journal.substr(start), old);
    EXPECT_EQ(parsed.itsVolume, 7u);
    EXPECT_EQ(parsed.itsFileNumber, 1234567890123u);
    for (size_t cut = 0; cut < journal.size(); ++cut)
        EXPECT_FALSE(parseJournal(journal.substr(0, cut), parsed, start)) << cut;
    const size_t sizeField = journal.find("1234567890123 ") + 14;
    for (size_t changed = sizeField; changed < journal.size(); ++changed) {
        std::string altered = journal;
        altered[changed] = static_cast<char>(altered[changed] ^ 0x01);
        EXPECT_FALSE(parseJournal(altered, parsed, start)) << changed;
    }
    EXPECT_FALSE(parseJournal(journal + "x", parsed, start));
    EXPECT_TRUE(parseJournal(makeJournalHeader(journalHeaderFor(1, 2, "")), parsed, start));
}

}  // namespace
