// The copy kept before a change: what it holds and admits, its names, and
// that a copy which cannot be exact is not left behind.
#include "oxPlatformFiles.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "oxTestFiles.h"

namespace {

std::string aclText(const std::string& inPath) {
    acl_t acl = acl_get_file(inPath.c_str(), ACL_TYPE_ACCESS);
    char* text = acl_to_any_text(acl, nullptr, ',', 0);
    const std::string result = text != nullptr ? text : "";
    acl_free(text);
    acl_free(acl);
    return result;
}

class oxPosixBackupTest : public testing::Test {
protected:
    oxPosixBackupTest() : itsScratch("oxPosixBackupTest") {}
    std::string at(const std::string& inName) const { return itsScratch.at(inName); }

    oxScratchDirectory itsScratch;
};

TEST_F(oxPosixBackupTest, TheCopyHoldsAndAdmitsWhatTheFileDoes) {
    const std::string path = at("secret.cfg");
    writeFileBytes(path, std::string("old\0bytes\r\n", 11));
    acl_t granted = acl_from_text("u::rw-,u:65534:r--,g::---,m::r--,o::---");
    ASSERT_NE(granted, nullptr);
    const int set = acl_set_file(path.c_str(), ACL_TYPE_ACCESS, granted);
    acl_free(granted);
    if (set != 0 || setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no ACLs or user attributes here: " << std::strerror(errno);
    const struct timespec old[2] = {{1000000000, 5}, {1200000000, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);

    std::string name, reason;
    ASSERT_TRUE(keepBackupCopy(path, "20261209T101112Z", name, reason)) << reason;
    EXPECT_EQ(name, path + ".20261209T101112Z~");
    EXPECT_EQ(readFileBytes(name), readFileBytes(path));
    EXPECT_EQ(aclText(name), aclText(path));
    char note[8] = {};
    EXPECT_EQ(getxattr(name.c_str(), "user.note", note, sizeof note), 4);
    struct stat copy {
    }, file{};
    ASSERT_EQ(stat(name.c_str(), &copy), 0);
    ASSERT_EQ(stat(path.c_str(), &file), 0);
    EXPECT_EQ(copy.st_mode, file.st_mode);
    EXPECT_EQ(copy.st_uid, file.st_uid);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 7);
}

// A taken name is never replaced; a missing file needs no copy; what is no
// regular file gets none.
TEST_F(oxPosixBackupTest, NamesAreNeverReusedAndOnlyFilesAreKept) {
    const std::string path = at("p.cfg");
    writeFileBytes(path, "one");
    std::string first, second, third, reason;
    ASSERT_TRUE(keepBackupCopy(path, "S", first, reason)) << reason;
    writeFileBytes(path, "two");
    ASSERT_TRUE(keepBackupCopy(path, "S", second, reason)) << reason;
    ASSERT_TRUE(keepBackupCopy(path, "S", third, reason)) << reason;
    EXPECT_EQ(first, path + ".S~");
    EXPECT_EQ(second, path + ".S-2~");
    EXPECT_EQ(third, path + ".S-3~");
    EXPECT_EQ(readFileBytes(first), "one");
    EXPECT_EQ(readFileBytes(second), "two");

    // Beside the file a link names, where its lock and temporaries are.
    ASSERT_EQ(std::filesystem::create_directory(at("sub")), true);
    ASSERT_EQ(symlink(path.c_str(), at("sub/alias.cfg").c_str()), 0);
    std::string linked;
    ASSERT_TRUE(keepBackupCopy(at("sub/alias.cfg"), "L", linked, reason)) << reason;
    EXPECT_EQ(linked, path + ".L~");

    std::string none = "stale";
    EXPECT_TRUE(keepBackupCopy(at("missing.cfg"), "S", none, reason));
    EXPECT_EQ(none, "");
    EXPECT_FALSE(keepBackupCopy(at("sub"), "S", none, reason));
    EXPECT_NE(reason.find("not a regular file"), std::string::npos) << reason;
}

// Where the copy could not be the file's own (another user's file, in a
// directory this user may write), it is not made: no backup is ever
// another's than the file's, and none is left half made.
TEST_F(oxPosixBackupTest, ACopyThatCannotKeepTheOwnerIsNotLeft) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give the file and the writer different owners";
    const std::string path = at("root.cfg");
    writeFileBytes(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(chmod(itsScratch.getPath().c_str(), 01777), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string name, reason;
        const bool refused = setgid(65534) == 0 && setuid(65534) == 0 &&
                             !keepBackupCopy(path, "S", name, reason) && name.empty() &&
                             reason.find("owner") != std::string::npos &&
                             access((path + ".S~").c_str(), F_OK) != 0;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(path + ".S~"));
}

}  // namespace
