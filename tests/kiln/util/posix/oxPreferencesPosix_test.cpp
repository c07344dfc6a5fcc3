#include <gtest/gtest.h>

#include <cstdlib>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "oxPreferencesTest.h"

class oxPreferencesPosixTest : public oxPreferencesTest {};

namespace {
// Runs in a child process, so the file-size limit stays there.
[[noreturn]] void writeLargeTableUnderSizeLimit(const std::string& inPath) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    store.setFileName(inPath);
    const bool readOk = static_cast<bool>(store.read());
    store.set("Large", std::string(100000, 'x'));
    const oxStoreResult written = store.write(false);
    // _exit: nothing of the process (coverage counts among it) is written under the limit.
    _exit(readOk && written.getKind() == oxStoreResult::writeFailed && !written.getReason().empty() ? 0 : 1);
}
}  // namespace

TEST_F(oxPreferencesPosixTest, WriteCutShortLeavesTheOldFileIntact) {
    const std::string original = "<Database value=\"SQLite\" />\r\n";
    writeFile(original);
    EXPECT_EXIT(writeLargeTableUnderSizeLimit(itsPath), testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile(), original);
}

TEST_F(oxPreferencesPosixTest, FileTimeIsTheLastWriteTimeInUtc) {
    writeFile("x");
    // 12 Jun 2014 08:05:09.250 UTC
    timespec times[2] = {{1402560309, 250000000}, {1402560309, 250000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, itsPath.c_str(), times, 0), 0);
    oxDate date;
    oxTime time;
    ASSERT_TRUE(oxPreferences::getFileTime(itsPath, date, time));
    EXPECT_EQ(date, oxDate(12, 6, 2014));
    oxTime expected;
    expected.init(8, 5, 9, 250);
    EXPECT_EQ(time, expected);
    EXPECT_FALSE(oxPreferences::getFileTime(itsDirectory + "/missing", date, time));
}
