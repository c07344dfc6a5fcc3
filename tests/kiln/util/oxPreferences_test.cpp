#include "oxPreferences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "oxPreferencesTest.h"
#include "oxStream.h"

TEST_F(oxPreferencesTest, ToolSequenceOnAMissingFile) {
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    EXPECT_FALSE(store.exists());
    EXPECT_TRUE(store.write(true));
    EXPECT_TRUE(store.exists());
    EXPECT_EQ(readFile(), "");
    {
        oxLogCapture capture(6);
        EXPECT_TRUE(store.read());  // unchanged since written: nothing parsed
        EXPECT_EQ(capture.finish(), "");
    }
    EXPECT_TRUE(store.set("Database", "MSSQL"));
    EXPECT_TRUE(store.set("DatabaseServer", "HOST\\SQL"));
    store.remove("DatabaseServer");
    EXPECT_TRUE(store.set("DatabaseUsername", "sa"));
    EXPECT_TRUE(store.write(false));
    EXPECT_EQ(readFile(), "<Database value=\"MSSQL\" />\r\n<DatabaseUsername value=\"sa\" />\r\n");
}

TEST_F(oxPreferencesTest, WritesOnlyWhenForcedOrModified) {
    writeFile("<!-- kept until rewritten -->\n<Other value=\"1\" />\n");
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    ASSERT_TRUE(store.read());
    EXPECT_TRUE(store.isModified());  // reading entries counts as a change
    EXPECT_TRUE(store.write(false));
    EXPECT_EQ(readFile(), "<!-- kept until rewritten -->\r\n<Other value=\"1\" />\r\n");

    oxPreferences empty(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    empty.setFileName(itsDirectory + "/never.cfg");
    EXPECT_TRUE(empty.write(false));  // unmodified: the file is not touched
    EXPECT_FALSE(empty.exists());
    EXPECT_TRUE(empty.write(true));
    EXPECT_TRUE(empty.exists());
}

TEST_F(oxPreferencesTest, KeysKeepTheirFirstSpellingAndPlace) {
    writeFile("<Database value=\"SQLite\" />\r\n<Mine value=\"x\" />\r\n");
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    EXPECT_TRUE(store.set("database", "MSSQL"));
    EXPECT_FALSE(store.set("bad key", "v"));  // would make the file unreadable
    EXPECT_FALSE(store.set("", "v"));
    store.remove("Absent");
    EXPECT_TRUE(store.write(false));
    EXPECT_EQ(readFile(), "<Database value=\"MSSQL\" />\r\n<Mine value=\"x\" />\r\n");
    std::string value;
    EXPECT_TRUE(store.get("MINE", value));
    EXPECT_EQ(value, "x");
}

TEST_F(oxPreferencesTest, ReadTracesNameTheFileAndDirectory) {
    oxPreferences store(oxPreferences::readWhenChanged, oxPreferences::writeWhenAsked);
    oxLogCapture capture(6);
    EXPECT_FALSE(store.read());  // no name: false, and nothing logged
    EXPECT_EQ(capture.finish(), "");

    store.setFileName(itsPath);
    oxLogCapture missing(6);
    EXPECT_FALSE(store.read());
    EXPECT_NE(missing.finish().find("oxPreferences:readPreferences unable to read file \"" + itsPath +
                                    "\". Current dir \"" + getCurrentDirectory() + "\".\n"),
              std::string::npos);
    writeFile("<A value=\"1\" />");
    oxLogCapture found(6);
    EXPECT_TRUE(store.read());
    EXPECT_NE(found.finish().find("oxPreferences:readPreferences read file \"" + itsPath + "\"."),
              std::string::npos);
    EXPECT_EQ(store.getReadCount(), 1u);
}

TEST_F(oxPreferencesTest, StoresWithoutReadOnceFollowTheFile) {
    writeFile("<Shared value=\"1\" />\r\n");
    oxPreferences first(oxPreferences::readWhenChanged, oxPreferences::writeWhenAsked);
    oxPreferences second(oxPreferences::readWhenChanged, oxPreferences::writeWhenAsked);
    first.setFileName(itsPath);
    second.setFileName(itsPath);
    ASSERT_TRUE(first.read());
    ASSERT_TRUE(second.read());
    letTimePass();
    EXPECT_TRUE(first.set("Shared", "2"));
    EXPECT_TRUE(first.write(false));
    EXPECT_TRUE(second.set("Local", "3"));  // re-reads first, then adds
    EXPECT_TRUE(second.write(false));
    EXPECT_EQ(readFile(), "<Shared value=\"2\" />\r\n<Local value=\"3\" />\r\n");

    // A write takes in what others wrote first.
    EXPECT_TRUE(first.write(true));
    EXPECT_EQ(readFile(), "<Shared value=\"2\" />\r\n<Local value=\"3\" />\r\n");
}

TEST_F(oxPreferencesTest, ReadOnceNeverReadsAgain) {
    writeFile("<A value=\"1\" />\r\n");
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    ASSERT_TRUE(store.read());
    letTimePass();
    writeFile("<B value=\"2\" />\r\n");
    std::string value;
    EXPECT_TRUE(store.read());
    EXPECT_TRUE(store.get("A", value));
    EXPECT_FALSE(store.get("B", value));
    EXPECT_EQ(store.getReadCount(), 1u);
}

TEST_F(oxPreferencesTest, RejectedFileIsNeverOverwrittenUntilAReadSucceeds) {
    const std::string broken = "<Keep value=\"1\" />\r\n<Also value=\"2\" />\r\n<Broken value=\"3\r\n";
    writeFile(broken);
    oxPreferences store(oxPreferences::readWhenChanged, oxPreferences::writeAfterEveryChange);
    store.setFileName(itsPath);
    EXPECT_FALSE(store.read());
    EXPECT_FALSE(store.read());  // parsed again, fails again
    EXPECT_FALSE(store.set("New", "x"));
    store.remove("Keep");
    EXPECT_FALSE(store.write(true));
    EXPECT_EQ(readFile(), broken);

    // Once readable, the changes made meanwhile are applied on top.
    writeFile("<Keep value=\"1\" />\r\n<Other value=\"2\" />\r\n");
    EXPECT_TRUE(store.set("New", "x"));
    EXPECT_EQ(readFile(), "<Other value=\"2\" />\r\n<New value=\"x\" />\r\n");
}

TEST_F(oxPreferencesTest, DirectoryInPlaceOfTheFileFailsBothWays) {
    ASSERT_TRUE(std::filesystem::create_directory(itsPath));
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    EXPECT_FALSE(store.read());
    EXPECT_FALSE(store.write(true));
}

// Text the reader stops at is kept: never written over, and a byte-order
// mark goes back where it was.
TEST_F(oxPreferencesTest, TextBeyondTheEntriesIsNeverWrittenOver) {
    const std::string bom = "\xEF\xBB\xBF";
    writeFile(bom + "<A value=\"1\" />\r\n<B value=\"2\" />\r\n");
    oxPreferences marked(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    marked.setFileName(itsPath);
    ASSERT_TRUE(marked.read());
    EXPECT_TRUE(marked.set("C", "3"));
    EXPECT_TRUE(marked.write(false));
    EXPECT_EQ(readFile(), bom + "<A value=\"1\" />\r\n<B value=\"2\" />\r\n<C value=\"3\" />\r\n");

    const std::string foreign[] = {
        "<?xml version=\"1.0\"?>\r\n<A value=\"1\" />\r\n",
        "<A value=\"1\" />\r\nplain words\r\n<B value=\"2\" />\r\n",
        "<A value=\"1\" />\r\n" + bom + "<B value=\"2\" />\r\n",
        "<A value=\"1\" />\r\n</A>\r\n",
    };
    for (const std::string& text : foreign) {
        writeFile(text);
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(itsPath);
        EXPECT_TRUE(store.read()) << text;  // readers get what the reader yields
        EXPECT_TRUE(store.set("C", "3"));
        EXPECT_FALSE(store.write(true)) << text;
        EXPECT_EQ(readFile(), text);
    }
}

// Two stores on one file, used one after the other at full speed: the
// change of the other is never taken for the same version.
TEST_F(oxPreferencesTest, StoresOnOneFileKeepEachOthersKeys) {
    writeFile("");
    for (int round = 0; round < 50; ++round) {
        oxPreferences first(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        oxPreferences second(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        first.setFileName(itsPath);
        second.setFileName(itsPath);
        ASSERT_TRUE(first.read());
        ASSERT_TRUE(second.read());
        const std::string value = std::to_string(round);
        first.set("First", value);
        second.set("Second", value);
        second.remove("Gone");
        ASSERT_TRUE(first.write(false));
        ASSERT_TRUE(second.write(false));
        oxPreferences reader(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        reader.setFileName(itsPath);
        std::string firstValue, secondValue;
        ASSERT_TRUE(reader.get("First", firstValue) && reader.get("Second", secondValue)) << round;
        EXPECT_EQ(firstValue + secondValue, value + value);
    }
}

TEST_F(oxPreferencesTest, CreatedFileIsRemovedOnlyWhileUntouched) {
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    ASSERT_TRUE(store.createFile());
    EXPECT_FALSE(store.createFile());  // never replaces
    EXPECT_TRUE(store.read());
    EXPECT_TRUE(store.removeCreatedFile());
    EXPECT_FALSE(std::filesystem::exists(itsPath));

    ASSERT_TRUE(store.createFile());
    writeFile("<Other value=\"1\" />\r\n");  // someone else's now
    EXPECT_FALSE(store.removeCreatedFile());
    EXPECT_EQ(readFile(), "<Other value=\"1\" />\r\n");
}

// "changed" or "unchanged": the contents a write would make, compared with
// the file's bytes; equal ones are not written, so the file stays the same
// version (identity, size and times).
TEST_F(oxPreferencesTest, WriteIfChangedWritesOnlyWhenTheBytesDiffer) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string text = bom + "<Database value=\"MSSQL\" />\r\n<Other value=\"a&amp;b\" />\r\n";
    writeFile(text);
    oxFileVersion before;
    ASSERT_EQ(getFileVersion(itsPath, before), oxFileAccess::ok);
    letTimePass();
    {
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(itsPath);
        ASSERT_TRUE(store.read());
        EXPECT_TRUE(store.set("database", "MSSQL"));
        store.remove("Absent");
        bool changed = true;
        EXPECT_TRUE(store.wouldChange(changed));
        EXPECT_FALSE(changed);
        changed = true;
        EXPECT_TRUE(store.writeIfChanged(changed));
        EXPECT_FALSE(changed);
        oxFileVersion after;
        ASSERT_EQ(getFileVersion(itsPath, after), oxFileAccess::ok);
        EXPECT_TRUE(after == before);
        EXPECT_EQ(readFile(), text);

        EXPECT_TRUE(store.set("Database", "SQLite"));
        EXPECT_TRUE(store.wouldChange(changed));
        EXPECT_TRUE(changed);
        EXPECT_EQ(readFile(), text);  // only compared
        changed = false;
        EXPECT_TRUE(store.writeIfChanged(changed));
        EXPECT_TRUE(changed);
        EXPECT_EQ(readFile(), bom + "<Database value=\"SQLite\" />\r\n<Other value=\"a&amp;b\" />\r\n");
        EXPECT_TRUE(store.wouldChange(changed));
        EXPECT_FALSE(changed);
    }
    // Same values, other bytes (line ends, the blank after a comment, an
    // escape written another way): the file is rewritten in the writer's
    // form.
    const std::string sqlite = "<Database value=\"SQLite\" />\r\n";
    for (const auto& [other, rewritten] :
         {std::make_pair(std::string("<Database value=\"SQLite\" />\n"), sqlite),
          std::make_pair(std::string("<!-- c --><Database value=\"SQLite\" />\r\n"), "<!-- c --> " + sqlite),
          std::make_pair(std::string("<Database value=\"SQ&#x4C;ite\" />\r\n"), sqlite),
          std::make_pair(std::string("<Database value=\"SQLite\" />\r\n\r\n"), sqlite)}) {
        writeFile(other);
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(itsPath);
        ASSERT_TRUE(store.read());
        EXPECT_TRUE(store.set("Database", "SQLite"));
        bool changed = false;
        EXPECT_TRUE(store.wouldChange(changed));
        EXPECT_TRUE(changed) << other;
        changed = false;
        EXPECT_TRUE(store.writeIfChanged(changed));
        EXPECT_TRUE(changed) << other;
        EXPECT_EQ(readFile(), rewritten);
    }
}

// A file long enough to be written partly from where its text stands: the
// compare and the write see the same bytes as for a small one, whichever
// line changes (first, middle, last) and with a line that is rewritten
// between long runs.
TEST_F(oxPreferencesTest, LargeFilesCompareAndWriteLikeSmallOnes) {
    std::string lines;
    for (int index = 0; index < 4000; ++index)
        lines +=
            "<Key" + std::to_string(index) + " value=\"" + (index == 2000 ? "a&#38;b" : "v") + "\" />\r\n";
    const std::string expected = [&] {
        std::string text = lines;
        const std::string raw = "a&#38;b";
        return text.replace(text.find(raw), raw.size(), "a&amp;b");
    }();
    for (const char* changedKey : {"", "Key0", "Key1999", "Key3999"}) {
        SCOPED_TRACE(changedKey);
        writeFile(lines);
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(itsPath);
        ASSERT_TRUE(store.read());
        std::string written = expected;
        if (*changedKey != '\0') {
            EXPECT_TRUE(store.set(changedKey, "w"));
            const std::string line = "<" + std::string(changedKey) + " value=\"v\" />";
            written.replace(written.find(line), line.size(),
                            "<" + std::string(changedKey) + " value=\"w\" />");
        }
        bool changed = false;
        EXPECT_TRUE(store.writeIfChanged(changed));
        EXPECT_TRUE(changed);  // the reference is rewritten in any case
        EXPECT_EQ(readFile(), written);
        EXPECT_TRUE(store.wouldChange(changed));
        EXPECT_FALSE(changed);
    }
}

TEST_F(oxPreferencesTest, WouldChangeCreatesNothingAndRefusesWhatWriteRefuses) {
    oxPreferences missing(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    missing.setFileName(itsPath);
    EXPECT_TRUE(missing.set("Database", "SQLite"));
    bool changed = false;
    EXPECT_TRUE(missing.wouldChange(changed));
    EXPECT_TRUE(changed);
    EXPECT_FALSE(std::filesystem::exists(itsPath));
    EXPECT_FALSE(std::filesystem::exists(itsPath + ".lock"));

    // Another writer's change since the read is taken in before comparing.
    writeFile("<Database value=\"MSSQL\" />\r\n");
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    ASSERT_TRUE(store.read());
    EXPECT_TRUE(store.set("Database", "SQLite"));
    letTimePass();
    writeFile("<Database value=\"MSSQL\" />\r\n<Theirs value=\"1\" />\r\n");
    EXPECT_TRUE(store.writeIfChanged(changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(readFile(), "<Database value=\"SQLite\" />\r\n<Theirs value=\"1\" />\r\n");

    const std::string foreign = "<?xml version=\"1.0\"?>\r\n<Database value=\"SQLite\" />\r\n";
    writeFile(foreign);
    oxPreferences refused(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    refused.setFileName(itsPath);
    ASSERT_TRUE(refused.read());
    EXPECT_TRUE(refused.set("Database", "SQLite"));
    changed = false;
    EXPECT_FALSE(refused.wouldChange(changed));
    EXPECT_FALSE(refused.writeIfChanged(changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(readFile(), foreign);

    std::filesystem::remove(itsPath);
    std::filesystem::create_directory(itsPath);
    oxPreferences directory(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    directory.setFileName(itsPath);
    EXPECT_FALSE(directory.wouldChange(changed));
    EXPECT_FALSE(directory.writeIfChanged(changed));
}

// Each failure names its kind, says why, and names the line where text in
// the file is the cause; the file is never changed by a failure.
TEST_F(oxPreferencesTest, FailuresSayWhyAndWhere) {
    enum oxOperation { readIt, writeIt, compareIt };
    struct oxCase {
        const char* itsContents;  // nullptr: no file
        oxOperation itsOperation;
        oxStoreResult::oxKind itsKind;
        const char* itsReason;
        size_t itsLine;
    };
    const oxCase cases[] = {
        {nullptr, readIt, oxStoreResult::missing, "there is no such file", 0},
        {"<A value=\"1\" />\r\n<B value=\"2\r\n", readIt, oxStoreResult::malformed,
         "line 2 holds an entry or comment that is not well formed", 2},
        {"<A value=\"1\" />\r\n<!-- open\r\n\r\n", writeIt, oxStoreResult::malformed,
         "line 2 holds an entry or comment that is not well formed", 2},
        {"<A value=\"1\" />\r\n\r\nplain text\r\n", writeIt, oxStoreResult::foreignText,
         "line 3 holds text the tool does not read, which a write would lose", 3},
        {"<A value=\"1\" />\r\nplain text\r\n", compareIt, oxStoreResult::foreignText,
         "line 2 holds text the tool does not read, which a write would lose", 2},
    };
    for (const oxCase& test : cases) {
        SCOPED_TRACE(test.itsContents != nullptr ? test.itsContents : "(no file)");
        std::filesystem::remove(itsPath);
        if (test.itsContents != nullptr)
            writeFile(test.itsContents);
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(itsPath);
        bool changed = false;
        oxStoreResult result;
        if (test.itsOperation == readIt) {
            result = store.read();
        } else {
            store.readIfExists();
            store.set("Database", "SQLite");
            result = test.itsOperation == writeIt ? store.write(true) : store.wouldChange(changed);
        }
        EXPECT_FALSE(result);
        EXPECT_EQ(result.getKind(), test.itsKind);
        EXPECT_EQ(result.getReason(), test.itsReason);
        EXPECT_EQ(result.getLine(), test.itsLine);
        EXPECT_EQ(std::filesystem::exists(itsPath), test.itsContents != nullptr);
        if (test.itsContents != nullptr) {
            EXPECT_EQ(readFile(), test.itsContents);
        }
    }

    oxPreferences unnamed(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    EXPECT_EQ(unnamed.write(true).getKind(), oxStoreResult::noFileName);
    std::filesystem::remove(itsPath);
    oxPreferences stopped(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    stopped.setFileName(itsPath);
    stopped.setStopCheck([] { return true; });
    stopped.set("Database", "SQLite");
    const oxStoreResult interrupted = stopped.write(true);
    EXPECT_EQ(interrupted.getKind(), oxStoreResult::interrupted);
    EXPECT_FALSE(std::filesystem::exists(itsPath));
}

// The backup holds exactly what the write replaced (another writer's change
// since the read included), and none is made where nothing is replaced.
TEST_F(oxPreferencesTest, ABackupKeepsWhatTheWriteReplaced) {
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    ASSERT_TRUE(store.readIfExists());
    EXPECT_TRUE(store.set("Database", "SQLite"));
    bool changed = false;
    std::string backup = "stale";
    ASSERT_TRUE(store.writeIfChanged(changed, &backup));
    EXPECT_TRUE(changed);
    EXPECT_EQ(backup, "");  // there was no file to keep

    ASSERT_TRUE(store.writeIfChanged(changed, &backup));
    EXPECT_FALSE(changed);
    EXPECT_EQ(backup, "");

    letTimePass();
    const std::string theirs = "<Database value=\"SQLite\" />\r\n<Theirs value=\"1\" />\r\n";
    writeFile(theirs);
    EXPECT_TRUE(store.set("Database", "MSSQL"));
    ASSERT_TRUE(store.writeIfChanged(changed, &backup));
    EXPECT_TRUE(changed);
    // "<file>.YYYYMMDDTHHMMSSZ~"
    EXPECT_EQ(backup.compare(0, itsPath.size() + 1, itsPath + "."), 0) << backup;
    const std::string stamp = backup.substr(std::min(backup.size(), itsPath.size() + 1));
    ASSERT_EQ(stamp.size(), 17u) << backup;
    EXPECT_EQ(std::string() + stamp[8] + stamp[15] + stamp[16], "TZ~") << backup;
    EXPECT_EQ(std::count_if(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }), 14)
        << backup;
    std::ifstream kept(backup, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), theirs);
    EXPECT_EQ(readFile(), "<Database value=\"MSSQL\" />\r\n<Theirs value=\"1\" />\r\n");
}
