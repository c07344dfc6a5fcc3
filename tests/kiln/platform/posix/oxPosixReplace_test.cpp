// Replacing a file's contents on POSIX: what the new file keeps of the
// old one, what is left beside it, and what a signal, a size limit or a
// kill in the middle of a write leaves.
#include "oxPlatformExtras.h"
#include "oxPlatformFiles.h"
#include "oxReplacementFiles.h"

#include <acl/libacl.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oxTestFiles.h"

namespace {

using oxNames = std::vector<std::string>;

oxNames entriesOf(const std::string& inDirectory) {
    oxNames names;
    if (DIR* directory = opendir(inDirectory.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        }
        closedir(directory);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& inPath) {
    struct stat status;
    return lstat(inPath.c_str(), &status) == 0 ? status.st_mode : 0;
}

std::string linkOf(const std::string& inPath) {
    char text[4096];
    const ssize_t length = readlink(inPath.c_str(), text, sizeof text);
    return length < 0 ? std::string() : std::string(text, static_cast<size_t>(length));
}

// Runs inBody in a child process; its exit code, or 128 plus the signal
// that ended it.
int inChild(const std::function<int()>& inBody) {
    const pid_t child = fork();
    if (child == 0)
        _exit(inBody());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

oxContentSource wholeOf(const std::string& inBytes) {
    return [&inBytes](std::string& ioChunk) {
        ioChunk = inBytes;
        return oxPiece::last;
    };
}

// inPieces pieces of inPiece; before the one numbered inAt, inAction runs.
oxContentSource piecesOf(const std::string& inPiece, int inPieces, int inAt,
                         const std::function<void()>& inAction) {
    auto given = std::make_shared<int>(0);
    return [=](std::string& ioChunk) {
        if (++*given == inAt)
            inAction();
        ioChunk = inPiece;
        return *given < inPieces ? oxPiece::more : oxPiece::last;
    };
}

class oxPosixReplaceTest : public testing::Test {
protected:
    oxPosixReplaceTest() : itsScratch("oxPosixReplaceTest"), itsDirectory(itsScratch.getPath().string()) {}
    std::string at(const std::string& inName) const { return itsScratch.at(inName); }

    oxScratchDirectory itsScratch;
    std::string itsDirectory;
};

TEST_F(oxPosixReplaceTest, ReplaceCreatesAndReplacesTheExactBytes) {
    const std::string binary("one\r\ntwo\0three\n", 15);
    ASSERT_TRUE(replaceFileContents(at("new.cfg"), binary));
    EXPECT_EQ(readFileBytes(at("new.cfg")), binary);

    for (const char* shorter : {"short", ""}) {
        EXPECT_TRUE(replaceFileContents(at("new.cfg"), shorter));
        EXPECT_EQ(readFileBytes(at("new.cfg")), shorter);
    }
    EXPECT_EQ(entriesOf(itsDirectory), oxNames{"new.cfg"});
}

TEST_F(oxPosixReplaceTest, ReplaceKeepsPermissionsAndWritesThroughSymbolicLinks) {
    writeFileBytes(at("kept.cfg"), "old");
    ASSERT_EQ(chmod(at("kept.cfg").c_str(), 0640), 0);
    EXPECT_TRUE(replaceFileContents(at("kept.cfg"), "new"));
    EXPECT_EQ(readFileBytes(at("kept.cfg")), "new");
    EXPECT_EQ(modeOf(at("kept.cfg")), S_IFREG | 0640);
    // Only the superuser can hand a file to someone else to begin with.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(at("kept.cfg").c_str(), 65534, 65534), 0);
        EXPECT_TRUE(replaceFileContents(at("kept.cfg"), "newer"));
        struct stat status;
        ASSERT_EQ(stat(at("kept.cfg").c_str(), &status), 0);
        EXPECT_EQ(std::make_pair(status.st_uid, status.st_gid), std::make_pair(65534u, 65534u));
        EXPECT_EQ(status.st_mode, S_IFREG | 0640);
    }

    // alias.cfg -> prefs.cfg -> sub/target.cfg: the temporary file belongs
    // beside the target, and both links stay as they were.
    ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
    writeFileBytes(at("sub/target.cfg"), "old target");
    ASSERT_EQ(symlink("sub/target.cfg", at("prefs.cfg").c_str()), 0);
    ASSERT_EQ(symlink(at("prefs.cfg").c_str(), at("alias.cfg").c_str()), 0);
    EXPECT_TRUE(replaceFileContents(at("alias.cfg"), "new target"));
    EXPECT_EQ(readFileBytes(at("sub/target.cfg")), "new target");
    EXPECT_EQ(linkOf(at("prefs.cfg")), "sub/target.cfg");
    EXPECT_EQ(linkOf(at("alias.cfg")), at("prefs.cfg"));

    // A dangling link names the file to create.
    ASSERT_EQ(symlink("sub/later.cfg", at("later.cfg").c_str()), 0);
    EXPECT_TRUE(replaceFileContents(at("later.cfg"), "created"));
    EXPECT_TRUE(S_ISLNK(modeOf(at("later.cfg"))));
    EXPECT_EQ(readFileBytes(at("sub/later.cfg")), "created");

    EXPECT_EQ(entriesOf(itsDirectory), (oxNames{"alias.cfg", "kept.cfg", "later.cfg", "prefs.cfg", "sub"}));
    EXPECT_EQ(entriesOf(at("sub")), (oxNames{"later.cfg", "target.cfg"}));
}

TEST_F(oxPosixReplaceTest, ReplaceFailsAndTouchesNothingWhenNoRegularFileCanTakeThePlace) {
    ASSERT_EQ(mkdir(at("dir.cfg").c_str(), 0755), 0);
    writeFileBytes(at("dir.cfg/inside"), "kept");
    ASSERT_EQ(mkfifo(at("pipe.cfg").c_str(), 0644), 0);
    ASSERT_EQ(symlink("loop2", at("loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", at("loop2").c_str()), 0);
    const oxNames before = entriesOf(itsDirectory);

    for (const std::string& path :
         {at("dir.cfg"), at("pipe.cfg"), at("loop1"), at("nowhere/x.cfg"), std::string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(replaceFileContents(path, "bytes"));
    }
    EXPECT_TRUE(S_ISDIR(modeOf(at("dir.cfg"))));
    EXPECT_EQ(readFileBytes(at("dir.cfg/inside")), "kept");
    EXPECT_TRUE(S_ISFIFO(modeOf(at("pipe.cfg"))));
    EXPECT_EQ(entriesOf(itsDirectory), before);
    EXPECT_EQ(entriesOf(at("dir.cfg")), oxNames{"inside"});
}

// A write beyond the size limit fails like any other, whether SIGXFSZ is
// ignored or would end the process, on a rename and in place.
TEST_F(oxPosixReplaceTest, ReplaceCutShortByTheFileSizeLimitKeepsTheOldFile) {
    const std::string path = at("limited.cfg");
    const std::string large(100000, 'x');
    for (const bool ignored : {true, false}) {
        for (const bool inPlace : {false, true}) {
            SCOPED_TRACE(std::string(ignored ? "ignored" : "default") +
                         (inPlace ? ", in place" : ", renamed"));
            writeFileBytes(path, "old contents");
            if (inPlace) {
                ASSERT_EQ(link(path.c_str(), at("second").c_str()), 0);
            }
            const int status = inChild([&] {
                if (ignored)
                    signal(SIGXFSZ, SIG_IGN);
                const rlimit limit = {4096, 4096};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    return 2;
                std::string reason;
                return !replaceFileContentsFrom(path, wholeOf(large), &reason) &&
                               reason == "the file would exceed the size limit"
                           ? 0
                           : 1;
            });
            EXPECT_EQ(status, 0) << "1: reported success or another reason, 2: no limit set";
            EXPECT_TRUE(readFileBytes(path) == "old contents");
            EXPECT_EQ(entriesOf(itsDirectory),
                      inPlace ? (oxNames{"limited.cfg", "second"}) : oxNames{"limited.cfg"});
            unlink(at("second").c_str());
        }
    }
    // Without the limit the same contents go through.
    EXPECT_TRUE(replaceFileContents(path, large));
    EXPECT_TRUE(readFileBytes(path) == large);
}

// A file in a folder the caller may not write is written in place (no
// journal can be kept there); a file it may not write is refused.
TEST_F(oxPosixReplaceTest, ReplaceRefusesWhatPermissionsProtect) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    ASSERT_EQ(mkdir(at("locked").c_str(), 0755), 0);
    writeFileBytes(at("locked/in.cfg"), "old");
    ASSERT_EQ(chmod(at("locked").c_str(), 0555), 0);
    writeFileBytes(at("readonly.cfg"), "old");
    ASSERT_EQ(chmod(at("readonly.cfg").c_str(), 0444), 0);

    EXPECT_TRUE(replaceFileContents(at("locked/in.cfg"), "new"));
    EXPECT_EQ(readFileBytes(at("locked/in.cfg")), "new");
    EXPECT_EQ(entriesOf(at("locked")), oxNames{"in.cfg"});
    EXPECT_FALSE(replaceFileContents(at("readonly.cfg"), "new"));
    EXPECT_EQ(readFileBytes(at("readonly.cfg")), "old");
    EXPECT_EQ(entriesOf(itsDirectory), (oxNames{"locked", "readonly.cfg"}));
    chmod(at("locked").c_str(), 0755);
}

// The file is to hold a password: new files, and the lock files of new
// files, are the owner's alone whatever the umask; a lock file is never
// wider than the file it guards, nor writable by others.
TEST_F(oxPosixReplaceTest, NewFilesAndLockFilesAdmitNobodyTheFileDoesNot) {
    const struct {
        mode_t itsMask;
        mode_t itsFileMode;  // 0: no file yet
        mode_t itsLockMode;
    } cases[] = {{000, 0, 0600}, {022, 0, 0600}, {077, 0, 0600}, {000, 0640, 0640}, {000, 0666, 0664}};
    for (const auto& row : cases) {
        SCOPED_TRACE(testing::Message() << "umask " << row.itsMask << ", file " << row.itsFileMode);
        const std::string path = at("prefs.cfg");
        unlink(path.c_str());
        unlink((path + ".lock").c_str());
        if (row.itsFileMode != 0) {
            writeFileBytes(path, "old");
            ASSERT_EQ(chmod(path.c_str(), row.itsFileMode), 0);
        }
        const mode_t previousMask = umask(row.itsMask);
        const intptr_t lock = acquireFileLock(path, 0);
        const bool replaced = replaceFileContents(path, "new");
        releaseFileLock(lock);
        umask(previousMask);
        ASSERT_TRUE(replaced);
        EXPECT_EQ(modeOf(path) & 07777, row.itsFileMode != 0 ? row.itsFileMode : 0600u);
        EXPECT_EQ(modeOf(path + ".lock") & 07777, row.itsLockMode);
    }
    // An empty new file too; and a lock file made wide earlier is narrowed.
    const mode_t previousMask = umask(0);
    oxFileVersion created;
    EXPECT_EQ(createFileIfAbsent(at("empty.cfg"), created), oxFileAccess::ok);
    umask(previousMask);
    EXPECT_EQ(modeOf(at("empty.cfg")) & 07777, 0600u);
    ASSERT_EQ(chmod(at("prefs.cfg.lock").c_str(), 0666), 0);
    releaseFileLock(acquireFileLock(at("prefs.cfg"), 0));
    EXPECT_EQ(modeOf(at("prefs.cfg.lock")) & 07777, 0664u);
}

// The group bits of a file with an access control list are its mask: a
// new file without the list would admit the group. The list, the
// attributes and the mode come over whole; a list the directory would
// pass on to a new file does not.
TEST_F(oxPosixReplaceTest, ReplacementKeepsTheAccessControlListAndAttributes) {
    const std::string path = at("secret.cfg");
    writeFileBytes(path, "old");
    acl_t granted = acl_from_text("u::rw-,u:65534:r--,g::---,m::r--,o::---");
    ASSERT_NE(granted, nullptr);
    const int set = acl_set_file(path.c_str(), ACL_TYPE_ACCESS, granted);
    acl_free(granted);
    if (set != 0 || setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no ACLs or user attributes here: " << std::strerror(errno);
    const auto aclText = [](const std::string& inPath) {
        acl_t acl = acl_get_file(inPath.c_str(), ACL_TYPE_ACCESS);
        char* text = acl_to_any_text(acl, nullptr, ',', 0);
        const std::string result = text != nullptr ? text : "";
        acl_free(text);
        acl_free(acl);
        return result;
    };
    const std::string before = aclText(path);
    ASSERT_TRUE(replaceFileContents(path, "new"));
    EXPECT_EQ(readFileBytes(path), "new");
    EXPECT_EQ(aclText(path), before);
    char note[16] = {};
    EXPECT_EQ(getxattr(path.c_str(), "user.note", note, sizeof note), 4);
    EXPECT_STREQ(note, "kept");
    EXPECT_EQ(modeOf(path) & 07777, 0640u);

    acl_t inherited = acl_from_text("u::rwx,u:65534:rw-,g::---,m::rw-,o::---");
    ASSERT_EQ(acl_set_file(itsDirectory.c_str(), ACL_TYPE_DEFAULT, inherited), 0);
    acl_free(inherited);
    writeFileBytes(at("plain.cfg"), "old");
    ASSERT_EQ(chmod(at("plain.cfg").c_str(), 0640), 0);
    ASSERT_EQ(acl_extended_file(at("plain.cfg").c_str()), 1);  // inherited at creation
    acl_t plain = acl_from_mode(0640);
    ASSERT_EQ(acl_set_file(at("plain.cfg").c_str(), ACL_TYPE_ACCESS, plain), 0);
    acl_free(plain);
    ASSERT_TRUE(replaceFileContents(at("plain.cfg"), "new"));
    EXPECT_EQ(acl_extended_file(at("plain.cfg").c_str()), 0);
    EXPECT_EQ(modeOf(at("plain.cfg")) & 07777, 0640u);
}

// Only what this code made is swept: names that carry the file's own name
// hash, with one link. Not another program's mktemp file, an
// administrator's copy, the temporary of a file whose long name begins
// alike, nor a journal.
TEST_F(oxPosixReplaceTest, TheSweepRemovesOnlyThisFilesOwnTemporaries) {
    const std::string name(70, 'n');
    const std::string file = name + "1.cfg";
    const std::string other = name + "2.cfg";
    writeFileBytes(at(file), "kept");
    writeFileBytes(at("elsewhere"), "x");
    const std::string linked = temporaryNameOf(file, 7);
    ASSERT_EQ(link(at("elsewhere").c_str(), at(linked).c_str()), 0);
    const struct {
        std::string itsName;
        bool itsSwept;
    } cases[] = {
        {temporaryNameOf(file, 1), true},
        {temporaryNameOf(file, 123456789), true},
        {"." + file + ".Ab12Cd", false},
        {"." + file + ".backup", false},
        {temporaryNameOf(other, 1), false},
        {journalNameOf(file), false},
        {temporaryNameOf(file, 1) + "x", false},
        // Backups, whatever their time.
        {file + ".20261209T101112Z~", false},
        {file + ".20261209T101112Z-2~", false},
    };
    oxNames expected = {file, "elsewhere", linked};
    for (const auto& row : cases) {
        writeFileBytes(at(row.itsName), "x");
        if (!row.itsSwept)
            expected.push_back(row.itsName);
    }
    std::sort(expected.begin(), expected.end());
    removeStaleTemporaryFiles(at(file));
    EXPECT_EQ(entriesOf(itsDirectory), expected);
}

// Every name of one file takes one lock, beside the file itself; the lock's
// own name is never followed, nor is the file locked in its place.
TEST_F(oxPosixReplaceTest, LocksFollowTheFileNotThePathAndNeverALink) {
    ASSERT_EQ(mkdir(at("real").c_str(), 0755), 0);
    writeFileBytes(at("real/p.cfg"), "x");
    ASSERT_EQ(symlink("real", at("alias").c_str()), 0);
    ASSERT_EQ(symlink("real/p.cfg", at("link.cfg").c_str()), 0);
    for (const char* name : {"link.cfg", "real/p.cfg"})
        EXPECT_EQ(getLockFileName(at(name)), at("real/p.cfg.lock")) << name;
    const intptr_t held = acquireFileLock(at("alias/p.cfg"), 0);
    ASSERT_NE(held, -1);
    std::string reason;
    EXPECT_EQ(acquireFileLock(at("link.cfg"), 20, nullptr, &reason), -1);
    EXPECT_EQ(reason.find("another writer has held the lock"), 0u) << reason;
    EXPECT_EQ(acquireFileLock(
                  at("real/p.cfg"), 10000, [] { return true; }, &reason),
              -1);
    EXPECT_EQ(reason, "interrupted");
    releaseFileLock(held);

    const std::string lock = at("real/p.cfg.lock");
    const auto plant = [&](const std::function<int()>& inMake) {
        unlink(lock.c_str());
        ASSERT_EQ(inMake(), 0);
    };
    const std::function<int()> planted[] = {
        [&] { return symlink("p.cfg", lock.c_str()); },
        [&] { return link(at("real/p.cfg").c_str(), lock.c_str()); },
        [&] { return mkfifo(lock.c_str(), 0600); },
    };
    for (const auto& make : planted) {
        plant(make);
        EXPECT_EQ(acquireFileLock(at("real/p.cfg"), 0, nullptr, &reason), -1);
        EXPECT_FALSE(reason.empty());
        // The file itself was not taken instead.
        const int file = open(at("real/p.cfg").c_str(), O_RDONLY);
        EXPECT_EQ(flock(file, LOCK_EX | LOCK_NB), 0);
        close(file);
    }
}

// A signal that ends the process in the middle of a write leaves the old
// file and nothing beside it, on a rename and in place. Each write runs in
// a program of its own (the threadsafe style starts this one anew), so
// that no handler or mask another test left is inherited. That program
// runs the test again from its start, fixture and all: it is handed this
// one's folder in the environment, as otherwise it would write in a folder
// of its own (left behind when the signal ends it) and the checks here
// would look at a file it never touched. It makes the files of its case
// itself; what runs before its case there only reads and removes "second".
class oxPosixReplaceDeathTest : public testing::Test {
protected:
    static constexpr const char* kFolderVariable = "OX_REPLACE_DEATH_TEST_FOLDER";

    oxPosixReplaceDeathTest() {
        if (const char* handed = std::getenv(kFolderVariable)) {
            itsDirectory = handed;
            return;
        }
        itsScratch = std::make_unique<oxScratchDirectory>("oxPosixReplaceDeathTest");
        itsDirectory = itsScratch->getPath().string();
        setenv(kFolderVariable, itsDirectory.c_str(), 1);
    }
    ~oxPosixReplaceDeathTest() override {
        if (itsScratch)
            unsetenv(kFolderVariable);
    }
    std::string at(const std::string& inName) const { return itsDirectory + "/" + inName; }

    std::unique_ptr<oxScratchDirectory> itsScratch;
    std::string itsDirectory;
};

TEST_F(oxPosixReplaceDeathTest, EndingSignalsLeaveTheOldFileAndNothingBeside) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = at("p.cfg");
    const std::string second = at("second");
    const std::string piece(64 * 1024, 'n');
    for (const int sent : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU,
                           SIGVTALRM, SIGRTMIN}) {
        for (const bool inPlace : {false, true}) {
            SCOPED_TRACE(testing::Message() << strsignal(sent) << (inPlace ? ", in place" : ", renamed"));
            EXPECT_EXIT(
                {
                    if (!writeFileBytes(path, "old contents") ||
                        (inPlace && link(path.c_str(), second.c_str()) != 0))
                        std::exit(1);
                    sigset_t only;
                    sigemptyset(&only);
                    sigaddset(&only, sent);
                    sigprocmask(SIG_UNBLOCK, &only, nullptr);
                    replaceFileContentsFrom(path, piecesOf(piece, 8, 3, [sent] { raise(sent); }));
                    std::exit(0);
                },
                testing::KilledBySignal(sent), "");
            EXPECT_TRUE(readFileBytes(path) == "old contents");
            EXPECT_EQ(entriesOf(itsDirectory), inPlace ? (oxNames{"p.cfg", "second"}) : oxNames{"p.cfg"});
            unlink(second.c_str());
        }
    }
}

// A writer killed in the middle of a write in place leaves a torn file
// and its journal; the next one puts the old contents back. Journals that
// cannot apply are only removed; ones not made by a writer are left.
TEST_F(oxPosixReplaceTest, AKilledWriteInPlaceIsPutBackFromItsJournal) {
    const std::string path = at("p.cfg");
    const std::string old(100000, 'o');
    writeFileBytes(path, old);
    ASSERT_EQ(link(path.c_str(), at("second").c_str()), 0);
    const std::string piece(64 * 1024, 'n');
    EXPECT_EQ(
        inChild([&] { return replaceFileContentsFrom(path, piecesOf(piece, 4, 2, [] { raise(SIGKILL); })); }),
        128 + SIGKILL);
    EXPECT_TRUE(readFileBytes(path) != old);  // torn: the new start, the old tail
    ASSERT_TRUE(hasInterruptedWrite(path));
    std::string reason;
    EXPECT_TRUE(restoreInterruptedWrite(path, reason)) << reason;
    EXPECT_TRUE(readFileBytes(path) == old);
    EXPECT_FALSE(hasInterruptedWrite(path));

    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    const std::string journal = at(journalNameOf("p.cfg"));
    const std::string valid =
        makeJournalHeader(journalHeaderFor(status.st_dev, status.st_ino, "before")) + "before";
    const std::string otherFile =
        makeJournalHeader(journalHeaderFor(status.st_dev, status.st_ino + 1, "before")) + "before";
    const struct {
        std::string itsJournal;
        mode_t itsMode;
        bool itsRestored;
        bool itsKept;
    } cases[] = {
        {valid, 0600, true, false},
        {valid.substr(0, valid.size() - 1), 0600, false, false},
        {valid.substr(0, valid.size() - 1) + "X", 0600, false, false},
        {otherFile, 0600, false, false},
        {valid, 0622, false, true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.itsJournal);
        writeFileBytes(path, "current");
        writeFileBytes(journal, row.itsJournal);
        ASSERT_EQ(chmod(journal.c_str(), row.itsMode), 0);
        EXPECT_EQ(restoreInterruptedWrite(path, reason), !row.itsKept);
        EXPECT_EQ(readFileBytes(path), row.itsRestored ? "before" : "current");
        EXPECT_EQ(hasInterruptedWrite(path), row.itsKept);
        unlink(journal.c_str());
    }
}

}  // namespace
