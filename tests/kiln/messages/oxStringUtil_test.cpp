#include "oxStringUtil.h"

#include <gtest/gtest.h>

#include <string>

TEST(oxStringUtilTest, CaseFoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ('A', toUpperAscii('a'));
    EXPECT_EQ('Z', toUpperAscii('z'));
    EXPECT_EQ('M', toUpperAscii('M'));
    // The neighbours of the letter range stay as they are.
    EXPECT_EQ('`', toUpperAscii('`'));
    EXPECT_EQ('{', toUpperAscii('{'));
    EXPECT_EQ('@', toUpperAscii('@'));
    // Bytes above 127 (Latin-1 a-umlaut) are never folded.
    EXPECT_EQ('\xe4', toUpperAscii('\xe4'));
    EXPECT_EQ('\0', toUpperAscii('\0'));
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
    EXPECT_EQ("0", toDecimalString(0));
    EXPECT_EQ("7", toDecimalString(7));
    EXPECT_EQ("260", toDecimalString(260));
    EXPECT_EQ("1000000", toDecimalString(1000000));
    EXPECT_EQ("4294967295", toDecimalString(4294967295u));

    std::string text = "Done  ";
    trimRight(text, ' ');
    EXPECT_EQ("Done", text);
    text = "   ";
    trimRight(text, ' ');
    EXPECT_EQ("", text);
    text = "tab\t ";
    trimRight(text, ' ');
    EXPECT_EQ("tab\t", text);
    text = "a b";
    trimRight(text, ' ');
    EXPECT_EQ("a b", text);
    text = "path///";
    trimRight(text, '/');
    EXPECT_EQ("path", text);
    text = "";
    trimRight(text, ' ');
    EXPECT_EQ("", text);
}

TEST(oxStringUtilTest, ReplacePlaceholderReplacesEveryOccurrenceOnce) {
    std::string text = "$e and $e";
    replacePlaceholder(text, 'e', "A");
    EXPECT_EQ("A and A", text);

    // The value's own placeholder is not searched again: no endless loop.
    text = "$e";
    replacePlaceholder(text, 'e', "$e");
    EXPECT_EQ("$e", text);
    text = "$e-$e";
    replacePlaceholder(text, 'e', "$e$e");
    EXPECT_EQ("$e$e-$e$e", text);

    // Other keys, a lone "$" and "$$" are left alone.
    text = "cost $5, $$, $a at end $";
    replacePlaceholder(text, 'e', "X");
    EXPECT_EQ("cost $5, $$, $a at end $", text);

    // The key is case-sensitive.
    text = "$E $e";
    replacePlaceholder(text, 'e', "v");
    EXPECT_EQ("$E v", text);

    // An empty value removes the placeholder; an empty text stays empty.
    text = "[$a]";
    replacePlaceholder(text, 'a', "");
    EXPECT_EQ("[]", text);
    text = "";
    replacePlaceholder(text, 'a', "x");
    EXPECT_EQ("", text);
}
