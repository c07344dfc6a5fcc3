// Replacing a file's contents with the Windows calls: exact bytes, kept
// attributes, and refusals that leave everything as it was.
#include "oxPlatformFiles.h"
#include "oxReplacementFiles.h"
#include "oxWin32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "oxTestFiles.h"

namespace {

class oxWin32FilesTest : public testing::Test {
protected:
    // A read-only file would stay behind when the folder is removed.
    void TearDown() override { SetFileAttributesA(itsFile.c_str(), FILE_ATTRIBUTE_NORMAL); }

    std::string contents() const { return readFileBytes(itsFile); }
    void write(const std::string& inBytes) const { writeFileBytes(itsFile, inBytes); }
    // Everything in the directory but the file itself: leftovers.
    int strayFiles() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(itsDirectory))
            count += entry.path().filename() != "preferences.cfg";
        return count;
    }

    const oxScratchDirectory itsScratch{"oxWin32FilesTest"};
    const std::filesystem::path itsDirectory = itsScratch.getPath();
    const std::string itsFile = itsScratch.at("preferences.cfg");
};

}  // namespace

TEST_F(oxWin32FilesTest, ReplaceCreatesAndReplacesTheExactBytes) {
    const std::string first("<A value=\"1\" />\r\n\n\0\x1A\xFF", 21);
    ASSERT_TRUE(replaceFileContents(itsFile, first));
    EXPECT_EQ(first, contents());
    ASSERT_TRUE(replaceFileContents(itsFile, "b"));
    EXPECT_EQ("b", contents());
    ASSERT_TRUE(replaceFileContents(itsFile, ""));
    EXPECT_EQ("", contents());
    EXPECT_EQ(0, strayFiles());
}

TEST_F(oxWin32FilesTest, ReplaceKeepsHiddenAndArchiveAttributes) {
    write("old");
    ASSERT_TRUE(SetFileAttributesA(itsFile.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(replaceFileContents(itsFile, "new"));
    EXPECT_EQ("new", contents());
    const DWORD attributes = GetFileAttributesA(itsFile.c_str());
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(oxWin32FilesTest, ReplaceRefusesWhatCannotTakeNewContents) {
    write("kept");
    ASSERT_TRUE(SetFileAttributesA(itsFile.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(replaceFileContents(itsFile, "new"));
    EXPECT_EQ("kept", contents());
    EXPECT_EQ(0, strayFiles());

    EXPECT_FALSE(replaceFileContents(itsDirectory.string(), "new"));  // a directory
    EXPECT_TRUE(std::filesystem::is_directory(itsDirectory));
    EXPECT_FALSE(replaceFileContents((itsDirectory / "missing" / "x.cfg").string(), "new"));
    EXPECT_FALSE(replaceFileContents("", "new"));
    EXPECT_FALSE(replaceFileContents(itsDirectory.string() + "\\", "new"));  // no file name
    EXPECT_EQ(0, strayFiles());
}

// A write in place of a hard-linked file leaves no journal; one that a
// killed writer left is put back, one cut short or made for another file
// is only removed.
TEST_F(oxWin32FilesTest, AJournalLeftBesideTheFileIsPutBackOnce) {
    write("old");
    const std::string second = itsScratch.at("second.cfg");
    ASSERT_TRUE(CreateHardLinkA(second.c_str(), itsFile.c_str(), nullptr));
    ASSERT_TRUE(replaceFileContents(itsFile, "new in place"));
    EXPECT_EQ("new in place", readFileBytes(second));
    EXPECT_FALSE(hasInterruptedWrite(itsFile));
    DeleteFileA(second.c_str());

    oxFileVersion version;
    ASSERT_EQ(oxFileAccess::ok, getFileVersion(itsFile, version));
    const std::string journal = itsScratch.at(journalNameOf("preferences.cfg"));
    const std::string valid =
        makeJournalHeader(journalHeaderFor(version.itsVolume, version.itsFileNumber, "before")) + "before";
    const std::string other =
        makeJournalHeader(journalHeaderFor(version.itsVolume, version.itsFileNumber + 1, "before")) +
        "before";
    const struct {
        std::string itsJournal;
        const char* itsAfter;
    } cases[] = {{valid, "before"}, {valid.substr(0, valid.size() - 1), "torn"}, {other, "torn"}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.itsAfter);
        write("torn");
        ASSERT_TRUE(writeFileBytes(journal, row.itsJournal));
        ASSERT_TRUE(hasInterruptedWrite(itsFile));
        std::string reason;
        EXPECT_TRUE(restoreInterruptedWrite(itsFile, reason)) << reason;
        EXPECT_EQ(row.itsAfter, contents());
        EXPECT_FALSE(hasInterruptedWrite(itsFile));
    }
    EXPECT_EQ(0, strayFiles());
}
