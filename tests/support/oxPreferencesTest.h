// Test support for the preferences store: a fresh directory per test.
// Other files of the store's tests name their suites after themselves
// (oxPreferencesFilesTest: public oxPreferencesTest).
#ifndef OX_PREFERENCES_TEST_H
#define OX_PREFERENCES_TEST_H

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "oxLogCapture.h"
#include "oxPreferences.h"
#include "oxTestFiles.h"

class oxPreferencesTest : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        itsScratch = std::make_unique<oxScratchDirectory>("oxPreferencesTest-" + std::string(test->name()));
        itsDirectory = itsScratch->getPath().string();
        itsPath = itsScratch->at("preferences.cfg");
    }
    void TearDown() override { itsScratch.reset(); }

    std::string readFile() const { return readFileBytes(itsPath); }
    void writeFile(const std::string& inText) const { writeFileBytes(itsPath, inText); }
    // File times are compared to the millisecond: let the clock move on.
    static void letTimePass() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

    std::unique_ptr<oxScratchDirectory> itsScratch;
    std::string itsDirectory;
    std::string itsPath;
};

#endif
