#include "oxErrorMessage.h"

#include <gtest/gtest.h>

#include <string>

TEST(oxErrorMessageTest, ConstructionCarriesValueTextAndArguments) {
    const oxErrorMessage none;
    EXPECT_EQ(oxErr_noError, none.getErrorValue());
    EXPECT_EQ(oxMsg_textRef, none.getRef());
    EXPECT_EQ("", none.getText());
    EXPECT_TRUE(none.isEmpty());

    const oxErrorMessage located(oxErr_internal, "Failure in $f line $l", 'f', "a.cpp", 'l', "12");
    EXPECT_EQ(oxErr_internal, located.getErrorValue());
    EXPECT_EQ("Failure in a.cpp line 12.", located.getText());

    // getText through the base class still applies the full-stop rule.
    const oxMessage& asBase = located;
    EXPECT_EQ("Failure in a.cpp line 12.", asBase.getText());
    std::string out;
    EXPECT_EQ("Failure in a.cpp line 12.", asBase.buildText(out));
}

TEST(oxErrorMessageTest, BuiltTextEndsInOneFullStop) {
    EXPECT_EQ("Done.", oxErrorMessage(1, "Done  ").getText());
    EXPECT_EQ("Done.", oxErrorMessage(1, "Done.").getText());
    EXPECT_EQ("Done.", oxErrorMessage(1, "Done. ").getText());
    EXPECT_EQ("Really?", oxErrorMessage(1, "Really?").getText());
    EXPECT_EQ("Stop!", oxErrorMessage(1, "Stop!").getText());
    EXPECT_EQ("He said \"go.\"", oxErrorMessage(1, "He said \"go.\"").getText());
    // A closing quote without a full stop before it gets one after it.
    EXPECT_EQ("Option \"x\".", oxErrorMessage(1, "Option \"x\"").getText());
    EXPECT_EQ("", oxErrorMessage(1, "   ").getText());
    // Only blanks are trimmed; a tab or line end is text.
    EXPECT_EQ("tab\t.", oxErrorMessage(1, "tab\t").getText());
    EXPECT_EQ("line\n.", oxErrorMessage(1, "line\n").getText());

    EXPECT_EQ("Option \"ll\".", oxErrorMessage(2, "Option \"$a\".", 'a', "ll", 'b', "").getText());
    // The rule looks at the substituted text.
    EXPECT_EQ("Ended with x?", oxErrorMessage(2, "Ended with $a", 'a', "x?", 'b', "").getText());
    EXPECT_EQ("Ended with.", oxErrorMessage(2, "Ended with$a", 'a', "  ", 'b', "").getText());
}

TEST(oxErrorMessageTest, EmptinessAndClear) {
    // Value alone: empty, but the value is kept.
    const oxErrorMessage valueOnly(oxErr_resFull);
    EXPECT_TRUE(valueOnly.isEmpty());
    EXPECT_EQ(oxErr_resFull, valueOnly.getErrorValue());
    EXPECT_EQ("", valueOnly.getText());

    // The no-error reference counts as empty only with no error value.
    oxErrorMessage noErrorRef(oxErr_noError, nullptr);
    noErrorRef.setRef(oxMsg_noErrorRef);
    EXPECT_TRUE(noErrorRef.isEmpty());
    noErrorRef.setErrorValue(oxErr_internal);
    EXPECT_FALSE(noErrorRef.isEmpty());
    noErrorRef.setErrorValue(oxErr_noError);
    noErrorRef.setRef(291);
    EXPECT_FALSE(noErrorRef.isEmpty());

    oxErrorMessage full(oxErr_internal, "Failure in $f line $l", 'f', "a.cpp", 'l', "12");
    EXPECT_FALSE(full.isEmpty());
    full.clear();
    EXPECT_EQ(oxMsg_noRef, full.getRef());
    EXPECT_EQ("", full.getTextField());
    EXPECT_FALSE(full.hasArgument('f') || full.hasArgument('l'));
    EXPECT_EQ(oxErr_noError, full.getErrorValue());
    EXPECT_TRUE(full.isEmpty());
    EXPECT_EQ("", full.getText());

    // clear through the base class resets the value too.
    oxErrorMessage viaBase(oxErr_memFull, "x");
    static_cast<oxMessage&>(viaBase).clear();
    EXPECT_EQ(oxErr_noError, viaBase.getErrorValue());
}

TEST(oxErrorMessageTest, CopiesKeepEveryField) {
    oxErrorMessage original(17, "Code $e at $l", 'e', "x", 'l', "9");
    const oxErrorMessage copy(original);
    EXPECT_EQ(17, copy.getErrorValue());
    EXPECT_EQ("Code $e at $l", copy.getTextField());
    EXPECT_EQ("Code x at 9.", copy.getText());

    oxErrorMessage assigned;
    assigned = original;
    original.setErrorValue(3);
    original.clear();
    EXPECT_EQ(17, assigned.getErrorValue());
    EXPECT_EQ("x", assigned.getArgument('e'));
    EXPECT_EQ("9", assigned.getArgument('l'));
}
