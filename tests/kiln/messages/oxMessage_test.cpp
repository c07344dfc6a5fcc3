#include "oxMessage.h"

#include <gtest/gtest.h>

#include <string>

#include "oxInfoLog.h"

TEST(oxMessageTest, ConstructionSetsLiteralTextAndArguments) {
    const oxMessage plain("Hello");
    EXPECT_EQ(oxMsg_textRef, plain.getRef());
    EXPECT_EQ("Hello", plain.getTextField());
    EXPECT_FALSE(plain.hasArgument('a'));

    const oxMessage fromNull(nullptr);
    EXPECT_EQ(oxMsg_textRef, fromNull.getRef());
    EXPECT_EQ("", fromNull.getTextField());
    EXPECT_TRUE(fromNull.isEmpty());

    const oxMessage one("Incorrect argument for option \"$a\".", 'a', "ll");
    EXPECT_EQ("ll", one.getArgument('a'));
    EXPECT_EQ("Incorrect argument for option \"ll\".", one.getText());
    // Two arguments with the same key: the first one given wins.
    EXPECT_EQ("first", oxMessage("$e", 'e', "first", 'e', "second").getText());
}

TEST(oxMessageTest, BuildTextSubstitutesInAscendingKeyOrder) {
    const oxMessage located("line $l of $f", 'f', "x.cpp", 'l', "42");
    EXPECT_EQ("line 42 of x.cpp", located.getText());

    EXPECT_EQ("A and A", oxMessage("$e and $e", 'e', "A").getText());
    // 'a' runs before 'e', so the later key sees what 'a' brought in; the
    // reverse does not hold: 'e' brings in "$a" after 'a' has run.
    EXPECT_EQ("X", oxMessage("$a", 'e', "X", 'a', "$e").getText());
    EXPECT_EQ("$a", oxMessage("$e", 'a', "X", 'e', "$a").getText());
    EXPECT_EQ("$e", oxMessage("$e", 'e', "$e").getText());
    EXPECT_EQ("cost $5", oxMessage("cost $5").getText());
    EXPECT_EQ("Unknown option \"$a\".", oxMessage("Unknown option \"$a\".").getText());

    // The stored text keeps its placeholders; buildText returns outText.
    std::string out = "stale";
    std::string& result = located.buildText(out);
    EXPECT_EQ(&out, &result);
    EXPECT_EQ("line 42 of x.cpp", out);
    EXPECT_EQ("line $l of $f", located.getTextField());
}

TEST(oxMessageTest, AddArgumentKeepsFirstValueAndWritesUnsignedDecimal) {
    oxMessage numbers("$a $b $c $e");
    numbers.addArgument('e', "first");
    numbers.addArgument('e', "second");
    numbers.addArgument('a', int32_t(260));
    numbers.addArgument('b', int32_t(-1));
    numbers.addArgument('c', int32_t(0));
    EXPECT_EQ("260 4294967295 0 first", numbers.getText());
    // A numeric value does not replace an existing text value either.
    numbers.addArgument('a', int32_t(5));
    EXPECT_EQ("260", numbers.getArgument('a'));

    EXPECT_FALSE(numbers.hasArgument('z'));
    EXPECT_EQ("", numbers.getArgument('z'));
}

TEST(oxMessageTest, SetTextClearAndEmptiness) {
    oxMessage message("old $a", 'a', "v");
    message.setRef(1234);
    EXPECT_FALSE(message.isEmpty());

    message.setText("new $a");
    EXPECT_EQ(oxMsg_textRef, message.getRef());
    EXPECT_EQ("new v", message.getText());
    message.setText(nullptr);
    EXPECT_EQ("", message.getTextField());
    EXPECT_TRUE(message.hasArgument('a'));
    EXPECT_TRUE(message.isEmpty());

    message.setText("text");
    message.clear();
    EXPECT_EQ(oxMsg_noRef, message.getRef());
    EXPECT_EQ("", message.getTextField());
    EXPECT_FALSE(message.hasArgument('a'));
    EXPECT_TRUE(message.isEmpty());
    // A cleared message builds the empty text without asking the server.
    EXPECT_EQ("", message.getText());

    // A string-server reference is never empty, even with no text field.
    oxMessage byNumber(nullptr);
    byNumber.setRef(4321);
    EXPECT_FALSE(byNumber.isEmpty());
    byNumber.setRef(oxMsg_noRef);
    byNumber.setText("x");
    byNumber.setRef(oxMsg_noRef);
    EXPECT_TRUE(byNumber.isEmpty());
}

TEST(oxMessageTest, TextEqualsIgnoresOnlyAsciiCase) {
    const oxMessage message("ABC");
    EXPECT_TRUE(message.textEquals("abc") && message.textEquals("AbC"));
    EXPECT_FALSE(message.textEquals("abcd") || message.textEquals("ab"));

    const oxMessage latin(
        "Gr\xc4\xdf"
        "e");
    EXPECT_TRUE(
        latin.textEquals("gr\xc4\xdf"
                         "E"));
    EXPECT_FALSE(
        latin.textEquals("gr\xe4\xdf"
                         "e"));

    // The reference is not consulted, only the stored text.
    oxMessage numbered("abc");
    numbered.setRef(77);
    EXPECT_TRUE(numbered.textEquals("ABC"));
    EXPECT_TRUE(oxMessage(nullptr).textEquals(""));
}

TEST(oxMessageTest, CopiesAreIndependentValues) {
    oxMessage original("$a-$b", 'a', "1", 'b', "2");
    original.setRef(900);
    oxMessage copy(original);
    EXPECT_EQ(900, copy.getRef());
    EXPECT_EQ("$a-$b", copy.getTextField());
    EXPECT_EQ("1", copy.getArgument('a'));
    EXPECT_EQ("2", copy.getArgument('b'));

    copy.setText("changed");
    copy.addArgument('c', "3");
    EXPECT_EQ(900, original.getRef());
    EXPECT_EQ("$a-$b", original.getTextField());
    EXPECT_FALSE(original.hasArgument('c'));

    oxMessage assigned("other");
    assigned = original;
    EXPECT_EQ(900, assigned.getRef());
    EXPECT_EQ("2", assigned.getArgument('b'));
}
