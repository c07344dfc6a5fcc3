// The store's refusals and in-place writes that only POSIX files show:
// FIFOs, hard links, and links planted in shared directories.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "oxPreferences.h"
#include "oxPreferencesTest.h"
#include "oxReplacementFiles.h"

class oxPreferencesFilesTest : public oxPreferencesTest {};

// A file that is not a regular file is refused at once and left as it is.
TEST_F(oxPreferencesFilesTest, WhatIsNotARegularFileIsRefusedWithoutBlocking) {
    ASSERT_EQ(mkfifo(itsPath.c_str(), 0600), 0);
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    EXPECT_FALSE(store.exists());
    EXPECT_FALSE(store.createFile());
    EXPECT_FALSE(store.read());
    EXPECT_FALSE(store.write(true));
    struct stat status;
    ASSERT_EQ(lstat(itsPath.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

// Where a rename would change what the file is, it is written in place;
// temporary files of dead writers are cleared by the next one.
TEST_F(oxPreferencesFilesTest, HardLinksStayOneFileAndStaleTemporariesGo) {
    writeFile("<A value=\"1\" />\r\n");
    const std::string link = itsDirectory + "/link.cfg";
    ASSERT_EQ(::link(itsPath.c_str(), link.c_str()), 0);
    const std::string stale = itsDirectory + "/" + temporaryNameOf("preferences.cfg", 1);
    const std::string unrelated = itsDirectory + "/.preferences.cfg.Ab12Cd";
    std::ofstream(stale) << "x";
    std::ofstream(unrelated) << "x";
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(itsPath);
    EXPECT_TRUE(store.set("B", "2"));
    EXPECT_TRUE(store.write(false));
    std::ifstream linked(link, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(linked), {}), readFile());
    EXPECT_EQ(readFile(), "<A value=\"1\" />\r\n<B value=\"2\" />\r\n");
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(unrelated));
}

// A link that another user planted in a shared sticky directory is not
// followed: a privileged run would write through it.
TEST_F(oxPreferencesFilesTest, PlantedLinkInAStickyDirectoryIsNotFollowed) {
    const std::string shared = itsDirectory + "/shared";
    const std::string target = itsDirectory + "/target.cfg";
    std::ofstream(target) << "<Secret value=\"1\" />\r\n";
    ASSERT_TRUE(std::filesystem::create_directory(shared));
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string planted = shared + "/preferences.cfg";
    ASSERT_EQ(symlink(target.c_str(), planted.c_str()), 0);
    const uid_t other = geteuid() == 0 ? 65534 : geteuid();
    if (other == geteuid())
        GTEST_SKIP() << "needs root to give the link another owner";
    ASSERT_EQ(lchown(planted.c_str(), other, static_cast<gid_t>(-1)), 0);
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(planted);
    EXPECT_FALSE(store.read());
    EXPECT_FALSE(store.write(true));
    std::ifstream kept(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "<Secret value=\"1\" />\r\n");
}
