// Replacing a file's contents with the Windows calls: exact bytes, kept
// attributes and access lists, refusals that leave everything as it was, a
// reader's open handle waited out, one lock for every alias of a file, and
// a new file closed to ordinary users.
#include "oxPlatformFiles.h"
#include "oxReplacementFiles.h"
#include "oxWin32.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

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

// The file's DACL as SDDL text ("D:P(A;;FA;;;SY)..."), or empty.
std::string accessListText(const std::string& inPath) {
    DWORD needed = 0;
    GetFileSecurityA(inPath.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<DWORD_PTR> descriptor(needed / sizeof(DWORD_PTR) + 1);
    LPSTR text = nullptr;
    if (needed == 0 ||
        !GetFileSecurityA(inPath.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return std::string();
    const std::string result(text);
    LocalFree(text);
    return result;
}

bool setAccessList(const std::string& inPath, const std::string& inText) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(inText.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION | (inText.rfind("D:P", 0) == 0 ? PROTECTED_DACL_SECURITY_INFORMATION : 0);
    const bool set = SetFileSecurityA(inPath.c_str(), which, descriptor) != FALSE;
    LocalFree(descriptor);
    return set;
}

std::string currentUserSid() {
    HANDLE token = nullptr;
    std::vector<DWORD_PTR> buffer(64);
    DWORD needed = 0;
    LPSTR text = nullptr;
    std::string sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, buffer.data(),
                                static_cast<DWORD>(buffer.size() * sizeof(DWORD_PTR)), &needed) &&
            ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
        CloseHandle(token);
    }
    return sid;
}

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

// Trailing dots and spaces and the short name open the same file: they
// name one lock, so a writer that takes it under another alias waits.
TEST_F(oxWin32FilesTest, AliasesOfOneFileTakeOneLock) {
    write("x");
    char shortPath[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(itsFile.c_str(), shortPath, MAX_PATH));
    const std::string shortName = std::filesystem::path(shortPath).filename().string();
    ASSERT_NE("preferences.cfg", shortName) << "no short name to test";
    const std::string canonical = itsFile + ".lock";
    ASSERT_EQ(canonical, getLockFileName(itsFile));
    const std::string aliases[] = {itsFile + ".", itsFile + " ", itsFile + ". .", itsScratch.at(shortName)};
    for (const std::string& alias : aliases) {
        SCOPED_TRACE(alias);
        EXPECT_EQ(canonical, getLockFileName(alias));
        const intptr_t held = acquireFileLock(itsFile, 0);
        ASSERT_NE(-1, held);
        EXPECT_EQ(-1, acquireFileLock(alias, 0));
        releaseFileLock(held);
    }
    // A file not there yet: its name as it will be made.
    EXPECT_EQ(itsScratch.at("new.cfg.lock"), getLockFileName(itsScratch.at("new.cfg.")));
}

// A replacement admits whom the file admitted: a DACL that only SYSTEM and
// the owner are on comes through a write unchanged, and so does one the
// administrator widened.
TEST_F(oxWin32FilesTest, ReplaceKeepsTheAccessList) {
    const std::string user = currentUserSid();
    ASSERT_FALSE(user.empty());
    const std::string lists[] = {"D:P(A;;FA;;;SY)(A;;FA;;;" + user + ")",
                                 "D:P(A;;FA;;;SY)(A;;FA;;;" + user + ")(A;;FR;;;BU)"};
    for (const std::string& list : lists) {
        SCOPED_TRACE(list);
        write("old");
        ASSERT_TRUE(setAccessList(itsFile, list));
        const std::string before = accessListText(itsFile);
        ASSERT_NE("", before);
        ASSERT_TRUE(replaceFileContents(itsFile, "new"));
        EXPECT_EQ("new", contents());
        EXPECT_EQ(before, accessListText(itsFile));
    }
}

// A new file is to hold a password: its owner, SYSTEM and Administrators,
// nothing inherited; the writes after it keep that. Wine keeps a file's
// DACL only as far as a mode holds it (owner, Everyone): there the
// protection and Administrators' entry are not asked for.
TEST_F(oxWin32FilesTest, NewFileAdmitsItsOwnerSystemAndAdministratorsOnly) {
    const std::string probe = itsScratch.at("probe");
    ASSERT_TRUE(writeFileBytes(probe, ""));
    ASSERT_TRUE(setAccessList(probe, "D:P(A;;FA;;;SY)(A;;FA;;;BA)"));
    const bool keepsWholeLists = accessListText(probe) == "D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    DeleteFileA(probe.c_str());
    if (!keepsWholeLists)
        std::cout << "this file system keeps DACLs as modes only\n";

    oxFileVersion version;
    ASSERT_EQ(oxFileAccess::ok, createFileIfAbsent(itsFile, version));
    const std::string made = accessListText(itsFile);
    if (keepsWholeLists) {
        EXPECT_EQ(0u, made.rfind("D:P", 0)) << made;
        EXPECT_NE(std::string::npos, made.find(";;;BA)")) << made;
    }
    const std::string trustees[] = {";;;SY)", ";;;" + currentUserSid() + ")"};
    for (const std::string& trustee : trustees)
        EXPECT_NE(std::string::npos, made.find(trustee)) << made;
    const std::string strangers[] = {";;;WD)", ";;;BU)", ";;;AU)"};
    for (const std::string& stranger : strangers)
        EXPECT_EQ(std::string::npos, made.find(stranger)) << made;
    ASSERT_TRUE(replaceFileContents(itsFile, "secret"));
    EXPECT_EQ(made, accessListText(itsFile));
}

// Another program's read that holds the file open without sharing its
// deletion refuses the swap for a moment: it is waited out, and past the
// wait the write fails with the reason, the file as it was.
TEST_F(oxWin32FilesTest, ReplaceWaitsForAReaderToLetGo) {
    write("old");
    const struct {
        int itsHeldMilliseconds;
        bool itsWritten;
    } cases[] = {{300, true}, {2500, false}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.itsHeldMilliseconds);
        HANDLE reader = CreateFileA(itsFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, reader);
        std::thread closer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(row.itsHeldMilliseconds));
            CloseHandle(reader);
        });
        std::string reason;
        const bool written = replaceFileContentsFrom(
            itsFile,
            [](std::string& ioChunk) {
                ioChunk = "new";
                return oxPiece::last;
            },
            &reason);
        closer.join();
        EXPECT_EQ(row.itsWritten, written) << reason;
        EXPECT_EQ(row.itsWritten ? "new" : "old", contents());
        if (!row.itsWritten) {
            EXPECT_NE(std::string::npos, reason.find("another program holds the file open")) << reason;
        }
        EXPECT_EQ(0, strayFiles());
        write("old");
    }
}
