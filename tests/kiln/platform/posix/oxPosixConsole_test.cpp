#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "oxWin32.h"

namespace {

// A key read that waits too long is ended by hanging the terminal up, so a
// missing key fails the test instead of stopping it.
const unsigned kLongestWaitSeconds = 10;
volatile sig_atomic_t theKeyboard = -1;

void hangUp(int) {
    if (theKeyboard >= 0) {
        close(theKeyboard);
        theKeyboard = -1;
    }
}

bool sameSettings(const termios& inLeft, const termios& inRight) {
    return inLeft.c_iflag == inRight.c_iflag && inLeft.c_oflag == inRight.c_oflag &&
           inLeft.c_cflag == inRight.c_cflag && inLeft.c_lflag == inRight.c_lflag &&
           memcmp(inLeft.c_cc, inRight.c_cc, sizeof inLeft.c_cc) == 0;
}

// Standard input is the far end of a pseudo-terminal whose keyboard side
// the test types on.
class oxPosixConsoleTerminalTest : public testing::Test {
protected:
    void SetUp() override {
        const int keyboard = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(keyboard, 0);
        theKeyboard = keyboard;
        ASSERT_EQ(grantpt(keyboard), 0);
        ASSERT_EQ(unlockpt(keyboard), 0);
        itsTerminal = open(ptsname(keyboard), O_RDWR | O_NOCTTY);
        ASSERT_GE(itsTerminal, 0);
        ASSERT_EQ(tcgetattr(itsTerminal, &itsInitialSettings), 0);
        itsSavedInput = dup(STDIN_FILENO);
        dup2(itsTerminal, STDIN_FILENO);
        clearerr(stdin);
        struct sigaction onAlarm {};
        onAlarm.sa_handler = hangUp;
        sigemptyset(&onAlarm.sa_mask);
        sigaction(SIGALRM, &onAlarm, &itsPreviousAlarm);
        alarm(kLongestWaitSeconds);
    }

    void TearDown() override {
        alarm(0);
        sigaction(SIGALRM, &itsPreviousAlarm, nullptr);
        endHiddenConsoleInput();
        // A hung-up terminal reads as ended: drains what stdin still holds.
        hangUp(SIGALRM);
        while (getc(stdin) != EOF) {
        }
        dup2(itsSavedInput, STDIN_FILENO);
        close(itsSavedInput);
        close(itsTerminal);
        clearerr(stdin);
    }

    void type(const std::string& inKeys) {
        ASSERT_EQ(write(theKeyboard, inKeys.data(), inKeys.size()), static_cast<ssize_t>(inKeys.size()));
    }

    std::vector<int> readKeys(size_t inCount) {
        std::vector<int> keys;
        while (keys.size() < inCount)
            keys.push_back(_getch());
        return keys;
    }

    termios currentSettings() {
        termios settings{};
        tcgetattr(itsTerminal, &settings);
        return settings;
    }

    struct sigaction itsPreviousAlarm {};
    int itsTerminal = -1;
    int itsSavedInput = -1;
    termios itsInitialSettings{};
};

TEST_F(oxPosixConsoleTerminalTest, KeysArriveAsTheWindowsConsoleGivesThem) {
    beginHiddenConsoleInput();
    type(
        "a\x7f\x08\x03\x04\n"
        "b\r\n"
        "c\r"
        "d");
    EXPECT_EQ(readKeys(9), (std::vector<int>{'a', 8, 8, 3, 4, 10, 'b', 13, 'c'}));
    // A CR not followed by LF leaves the next key where it was.
    EXPECT_EQ(readKeys(2), (std::vector<int>{13, 'd'}));

    // Cursor and function keys: one two-code key each, nothing of the
    // sequence left behind.
    type(
        "\x1b[A"
        "\x1b[1;5C"
        "\x1bOP"
        "\x1b[15~"
        "e");
    EXPECT_EQ(readKeys(9), (std::vector<int>{0, 'A', 0, 'C', 0, 'P', 0, '~', 'e'}));

    // An Escape alone, or before a plain key, is a key of its own and
    // keeps the key after it.
    type("\x1b");
    EXPECT_EQ(_getch(), 27);
    type(
        "\x1bx"
        "\x1b[\r");
    EXPECT_EQ(readKeys(5), (std::vector<int>{27, 'x', 0, '[', 13}));
    endHiddenConsoleInput();
}

TEST_F(oxPosixConsoleTerminalTest, HiddenModeIsHeldUntilEndAndThenUndone) {
    beginHiddenConsoleInput();
    const termios hidden = currentSettings();
    EXPECT_EQ(hidden.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(hidden.c_iflag & ICRNL, 0u);
    // Taken twice, the first settings are still the ones given back.
    beginHiddenConsoleInput();
    type("k");
    EXPECT_EQ(_getch(), 'k');
    EXPECT_TRUE(sameSettings(currentSettings(), hidden));
    endHiddenConsoleInput();
    EXPECT_TRUE(sameSettings(currentSettings(), itsInitialSettings));
    endHiddenConsoleInput();
    EXPECT_TRUE(sameSettings(currentSettings(), itsInitialSettings));

    // A single call outside the held mode switches for that key only. (A
    // key typed before the switch meets line editing, so a plain one.)
    type("q");
    EXPECT_EQ(_getch(), 'q');
    EXPECT_TRUE(sameSettings(currentSettings(), itsInitialSettings));
}

TEST(oxPosixConsoleTest, NoKeyWithoutTerminal) {
    const int savedInput = dup(STDIN_FILENO);
    const int nothing = open("/dev/null", O_RDONLY);
    ASSERT_GE(nothing, 0);
    dup2(nothing, STDIN_FILENO);
    close(nothing);
    EXPECT_EQ(_isatty(_fileno(stdin)), 0);
    EXPECT_EQ(_getch(), -1);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    clearerr(stdin);
}

}  // namespace
