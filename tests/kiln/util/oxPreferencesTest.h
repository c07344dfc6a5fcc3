// Test support for the preferences store: a fresh directory per test.
#ifndef OX_PREFERENCES_TEST_H
#define OX_PREFERENCES_TEST_H

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "oxLogCapture.h"
#include "oxPreferences.h"

class PreferencesTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::path base = std::filesystem::temp_directory_path();
        static int counter = 0;
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        itsDirectory = (base / ("oxPreferencesTest-" + std::string(test->name()) + "-" +
                                std::to_string(++counter) + "-" +
                                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())))
                           .string();
        std::filesystem::create_directories(itsDirectory);
        itsPath = (std::filesystem::path(itsDirectory) / "preferences.cfg").string();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(itsDirectory, ignored);
    }

    std::string readFile() const {
        std::ifstream file(itsPath, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    void writeFile(const std::string& inText) const {
        std::ofstream file(itsPath, std::ios::binary | std::ios::trunc);
        file << inText;
    }
    // File times are compared to the millisecond: let the clock move on.
    static void letTimePass() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

    std::string itsDirectory;
    std::string itsPath;
};

#endif
