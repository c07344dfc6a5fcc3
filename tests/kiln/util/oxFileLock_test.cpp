#include "oxFileLock.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "oxPreferencesTest.h"

class oxFileLockTest : public oxPreferencesTest {};

// Two holders in one process exclude each other as two processes do, and
// a holder that is gone lets the next one in.
TEST_F(oxFileLockTest, OneHolderAtATime) {
    {
        oxFileLock first(itsPath, 0);
        ASSERT_TRUE(first.isHeld());
        EXPECT_TRUE(std::filesystem::exists(itsPath + ".lock"));
        oxFileLock second(itsPath, 50);
        EXPECT_FALSE(second.isHeld());
    }
    oxFileLock third(itsPath, 0);
    EXPECT_TRUE(third.isHeld());
    oxFileLock elsewhere(itsDirectory + "/missing/preferences.cfg", 0);
    EXPECT_FALSE(elsewhere.isHeld());
}
