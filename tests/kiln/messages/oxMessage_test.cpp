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
    EXPECT_TRUE(one.hasArgument('a'));
    EXPECT_EQ("ll", one.getArgument('a'));
    EXPECT_EQ("Incorrect argument for option \"ll\".", one.getText());

    // Two arguments with the same key: the first one given wins.
    const oxMessage same("$e", 'e', "first", 'e', "second");
    EXPECT_EQ("first", same.getText());
}

TEST(oxMessageTest, BuildTextSubstitutesInAscendingKeyOrder) {
    const oxMessage located("line $l of $f", 'f', "x.cpp", 'l', "42");
    EXPECT_EQ("line 42 of x.cpp", located.getText());

    const oxMessage twice("$e and $e", 'e', "A");
    EXPECT_EQ("A and A", twice.getText());

    // 'a' runs before 'e', so the later key sees what 'a' brought in.
    const oxMessage chained("$a", 'e', "X", 'a', "$e");
    EXPECT_EQ("X", chained.getText());
    // The reverse does not hold: 'e' brings in "$a" after 'a' has run.
    const oxMessage unchained("$e", 'a', "X", 'e', "$a");
    EXPECT_EQ("$a", unchained.getText());

    const oxMessage selfReferring("$e", 'e', "$e");
    EXPECT_EQ("$e", selfReferring.getText());

    const oxMessage unknown("cost $5");
    EXPECT_EQ("cost $5", unknown.getText());
    const oxMessage missing("Unknown option \"$a\".");
    EXPECT_EQ("Unknown option \"$a\".", missing.getText());

    // The stored text keeps its placeholders; buildText returns outText.
    std::string out = "stale";
    std::string& result = located.buildText(out);
    EXPECT_EQ(&out, &result);
    EXPECT_EQ("line 42 of x.cpp", out);
    EXPECT_EQ("line $l of $f", located.getTextField());
}

TEST(oxMessageTest, AddArgumentKeepsFirstValueAndWritesUnsignedDecimal) {
    oxMessage message("$e");
    message.addArgument('e', "first");
    message.addArgument('e', "second");
    EXPECT_EQ("first", message.getArgument('e'));

    oxMessage numbers("$a $b $c");
    numbers.addArgument('a', int32_t(260));
    numbers.addArgument('b', int32_t(-1));
    numbers.addArgument('c', int32_t(0));
    EXPECT_EQ("260", numbers.getArgument('a'));
    EXPECT_EQ("4294967295", numbers.getArgument('b'));
    EXPECT_EQ("260 4294967295 0", numbers.getText());
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
    EXPECT_TRUE(message.textEquals("abc"));
    EXPECT_TRUE(message.textEquals("AbC"));
    EXPECT_FALSE(message.textEquals("abcd"));
    EXPECT_FALSE(message.textEquals("ab"));

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
