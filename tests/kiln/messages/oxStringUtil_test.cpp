#include "oxStringUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string trimmed(std::string inText, char inChar) {
    trimRight(inText, inChar);
    return inText;
}

std::string replaced(std::string inText, char inKey, const std::string& inValue) {
    replacePlaceholder(inText, inKey, inValue);
    return inText;
}

}  // namespace

TEST(oxStringUtilTest, CaseFoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ('A', toUpperAscii('a'));
    EXPECT_EQ('Z', toUpperAscii('z'));
    // Upper case, the neighbours of the letter range, bytes above 127
    // (Latin-1 a-umlaut) and zero stay as they are.
    for (char c : {'M', '`', '{', '@', '\xe4', '\0'})
        EXPECT_EQ(c, toUpperAscii(c)) << int(c);
}

TEST(oxStringUtilTest, CompareReturnsDifferenceOfFirstMismatch) {
    EXPECT_EQ(0, compareStrings("abc", "abc", true));
    EXPECT_EQ('c' - 'd', compareStrings("abc", "abd", true));
    EXPECT_EQ('A' - 'a', compareStrings("ABC", "abc", true));
    EXPECT_EQ(0, compareStrings("ABC", "abc", false));
    EXPECT_EQ(0, compareStrings("MsSqL", "mssql", false));
    // A shorter string ends with its terminator against the other's char.
    EXPECT_EQ(-'c', compareStrings("ab", "abc", true));
    // Without case the difference is taken after folding.
    EXPECT_EQ('C', compareStrings("abc", "ab", false));
    EXPECT_GT(compareStrings("b", "A", false), 0);
    // Bytes above 127 differ even without case: no Latin-1 folding.
    EXPECT_NE(0, compareStrings("\xe4", "\xc4", false));
    EXPECT_GT(compareStrings("\xe4", "z", true), 0);
    // A null pointer reads as the empty string rather than crashing.
    EXPECT_EQ(0, compareStrings(nullptr, "", true));
    EXPECT_LT(compareStrings(nullptr, "a", true), 0);

    EXPECT_TRUE(stringsEqual("Yes", "YES", false));
    EXPECT_FALSE(stringsEqual("Yes", "YES", true));
    EXPECT_FALSE(stringsEqual("Yes", "Yes ", false));
    EXPECT_TRUE(stringsEqual("", "", true));
}

TEST(oxStringUtilTest, FindStringHonoursStartLengthAndCase) {
    const std::string text = "one two one";
    EXPECT_EQ(0, findString(text, "one", 0, true));
    EXPECT_EQ(8, findString(text, "one", 1, true));
    EXPECT_EQ(8, findString(text, "one", 8, true));
    EXPECT_EQ(-1, findString(text, "one", 9, true));
    EXPECT_EQ(-1, findString(text, "one", 100, true));
    EXPECT_EQ(-1, findString(text, "ONE", 0, true));
    EXPECT_EQ(4, findString(text, "TWO", 0, false));
    EXPECT_EQ(-1, findString(text, "three", 0, true));
    EXPECT_EQ(-1, findString("", "a", 0, true));
    EXPECT_EQ(-1, findString(text, "", 0, true));
    EXPECT_EQ(-1, findString("ab", "abc", 0, true));
    EXPECT_EQ(0, findString(text, "one", -5, true));

    EXPECT_TRUE(containsString("Hello World", "WORLD", false));
    EXPECT_FALSE(containsString("Hello World", "WORLD", true));
    EXPECT_FALSE(containsString("Hello", "", false));
    EXPECT_FALSE(containsString("", "", false));
}

TEST(oxStringUtilTest, EndsWithComparesOnlyTheTail) {
    EXPECT_TRUE(endsWith("report.cfg", ".cfg", true));
    EXPECT_TRUE(endsWith("report.CFG", ".cfg", false));
    EXPECT_FALSE(endsWith("report.CFG", ".cfg", true));
    EXPECT_FALSE(endsWith("cfg", ".cfg", true));
    // An occurrence earlier in the text does not count.
    EXPECT_FALSE(endsWith(".cfg.bak", ".cfg", true));
    EXPECT_TRUE(endsWith("x", "x", true));
    EXPECT_TRUE(endsWith("said.\"", ".\"", true));
    EXPECT_FALSE(endsWith("text", "", true));
}

TEST(oxStringUtilTest, DecimalTextAndRightTrim) {
    for (uint32_t value : {0u, 7u, 260u, 1000000u, 4294967295u})
        EXPECT_EQ(std::to_string(value), toDecimalString(value));

    EXPECT_EQ("Done", trimmed("Done  ", ' '));
    EXPECT_EQ("", trimmed("   ", ' '));
    EXPECT_EQ("tab\t", trimmed("tab\t ", ' '));
    EXPECT_EQ("a b", trimmed("a b", ' '));
    EXPECT_EQ("path", trimmed("path///", '/'));
    EXPECT_EQ("", trimmed("", ' '));
}

TEST(oxStringUtilTest, ReplacePlaceholderReplacesEveryOccurrenceOnce) {
    EXPECT_EQ("A and A", replaced("$e and $e", 'e', "A"));
    // The value's own placeholder is not searched again: no endless loop.
    EXPECT_EQ("$e", replaced("$e", 'e', "$e"));
    EXPECT_EQ("$e$e-$e$e", replaced("$e-$e", 'e', "$e$e"));
    // Other keys, a lone "$" and "$$" are left alone.
    EXPECT_EQ("cost $5, $$, $a at end $", replaced("cost $5, $$, $a at end $", 'e', "X"));
    // The key is case-sensitive.
    EXPECT_EQ("$E v", replaced("$E $e", 'e', "v"));
    // An empty value removes the placeholder; an empty text stays empty.
    EXPECT_EQ("[]", replaced("[$a]", 'a', ""));
    EXPECT_EQ("", replaced("", 'a', "x"));
}

TEST(oxStringUtilTest, EditDistanceCountsEachSlipOnce) {
    const struct {
        const char* itsA;
        const char* itsB;
        bool itsCaseSensitive;
        size_t itsDistance;
    } cases[] = {
        {"provider", "provider", true, 0},
        {"provder", "provider", true, 1},   // one left out
        {"porvider", "provider", true, 1},  // two swapped
        {"providerr", "provider", true, 1},
        {"prowider", "provider", true, 1},
        {"Provider", "provider", true, 1},
        {"Provider", "provider", false, 0},
        {"", "file", true, 4},
        {"file", "", true, 4},
        {"foo", "file", true, 3},
        {"ca", "abc", true, 3},  // a swap is not edited again
    };
    for (const auto& row : cases)
        EXPECT_EQ(getEditDistance(row.itsA, row.itsB, row.itsCaseSensitive), row.itsDistance)
            << row.itsA << " / " << row.itsB;
}
