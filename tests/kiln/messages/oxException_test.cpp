#include "oxException.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "oxLogCapture.h"
#include "oxStringUtil.h"

namespace {

const std::string kSupportTail = "Please notify Velqor Technical Support at support@velqor.example.";

std::string unexpectedText(const std::string& inWhat) {
    return "An unexpected exception \"" + inWhat + "\" occurred.  " + kSupportTail;
}

class DerivedException : public oxException {
public:
    DerivedException() : oxException(oxErr_internal, "Derived $e", 'e', "one", 'f', "two") {}
};

class DerivedBadAlloc : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "pool exhausted"; }
};

}  // namespace

TEST(oxExceptionTest, WhatGivesTheNormalisedMessageText) {
    const oxException valueOnly(oxErr_resFull);
    EXPECT_STREQ("", valueOnly.what());
    EXPECT_EQ(oxErr_resFull, valueOnly.errorMessage.getErrorValue());
    EXPECT_EQ(oxMsg_textRef, valueOnly.errorMessage.getRef());
    EXPECT_TRUE(valueOnly.errorMessage.isEmpty());

    const oxException withText(oxErr_internal, "Deadlock detected  ");
    EXPECT_STREQ("Deadlock detected.", withText.what());

    const oxException located(oxErr_internal, "Failure in $f line $l", 'f', "a.cpp", 'l', "12");
    EXPECT_STREQ("Failure in a.cpp line 12.", located.what());

    // A placeholder with no argument stays; what does not throw.
    const oxException missing(oxErr_internal, "Missing $q");
    EXPECT_STREQ("Missing $q.", missing.what());

    // Each object keeps its own text: another exception's what leaves it.
    const char* first = located.what();
    EXPECT_STREQ("Deadlock detected.", withText.what());
    EXPECT_STREQ("Failure in a.cpp line 12.", first);

    // what follows later changes of the public message.
    oxException changing(oxErr_internal, "before");
    EXPECT_STREQ("before.", changing.what());
    changing.errorMessage.setText("after!");
    EXPECT_STREQ("after!", changing.what());
}

TEST(oxExceptionTest, CopiesAndCatchByValueKeepTheWholeMessage) {
    oxException original(oxErr_internal, "Failure in $f line $l", 'f', "a.cpp", 'l', "12");
    const oxException copy(original);
    original.errorMessage.clear();
    EXPECT_EQ(oxErr_internal, copy.errorMessage.getErrorValue());
    EXPECT_EQ("Failure in $f line $l", copy.errorMessage.getTextField());
    EXPECT_EQ("a.cpp", copy.errorMessage.getArgument('f'));
    EXPECT_EQ("12", copy.errorMessage.getArgument('l'));
    EXPECT_STREQ("Failure in a.cpp line 12.", copy.what());
    EXPECT_STREQ("", original.what());

    try {
        throw oxException(oxErr_resFull, "Event $e refused", 'e', "stop", 'x', "y");
    } catch (const oxException& caught) {
        // What a handler that keeps the exception beyond its catch does.
        const oxException kept(caught);
        EXPECT_EQ(oxErr_resFull, kept.errorMessage.getErrorValue());
        EXPECT_EQ("y", kept.errorMessage.getArgument('x'));
        EXPECT_STREQ("Event stop refused.", kept.what());
    }
}

TEST(oxExceptionTest, ConversionOfFrameworkExceptions) {
    const oxErrorMessage valueOnly = errorMessageFromException(oxException(oxErr_resFull));
    EXPECT_EQ(oxErr_resFull, valueOnly.getErrorValue());
    EXPECT_EQ("", valueOnly.getText());
    EXPECT_FALSE(valueOnly.hasArgument('e'));

    // The unspecified-error text gets its value as "$e".
    const oxErrorMessage unspecified = errorMessageFromException(oxException(17, oxUnspecifiedErrorText));
    EXPECT_EQ(17, unspecified.getErrorValue());
    EXPECT_TRUE(unspecified.textEquals(oxUnspecifiedErrorText));
    EXPECT_EQ("17", unspecified.getArgument('e'));
    EXPECT_EQ("An unspecified error \"17\" occurred.  " + kSupportTail, unspecified.getText());

    // The match ignores ASCII case, as textEquals does.
    std::string shouted = oxUnspecifiedErrorText;
    for (char& c : shouted)
        c = toUpperAscii(c);
    EXPECT_EQ("9", errorMessageFromException(oxException(9, shouted.c_str())).getArgument('e'));

    // An existing "$e" is kept; other texts get none.
    const oxErrorMessage given =
        errorMessageFromException(oxException(17, oxUnspecifiedErrorText, 'e', "mine", 'f', "x"));
    EXPECT_EQ("mine", given.getArgument('e'));
    EXPECT_FALSE(errorMessageFromException(oxException(17, "Other $e")).hasArgument('e'));

    // Subclasses are framework exceptions too: reference, text, every argument.
    DerivedException derived;
    derived.errorMessage.setRef(4242);
    const oxErrorMessage fromDerived = errorMessageFromException(derived);
    EXPECT_EQ(oxErr_internal, fromDerived.getErrorValue());
    EXPECT_EQ(4242, fromDerived.getRef());
    EXPECT_EQ("Derived $e", fromDerived.getTextField());
    EXPECT_EQ("one", fromDerived.getArgument('e'));
    EXPECT_EQ("two", fromDerived.getArgument('f'));
}

TEST(oxExceptionTest, ConversionOfStandardExceptions) {
    const oxErrorMessage memory = errorMessageFromException(std::bad_alloc());
    EXPECT_EQ(oxErr_memFull, memory.getErrorValue());
    EXPECT_EQ("Could not perform operation because available memory is exhausted.", memory.getText());
    EXPECT_FALSE(memory.hasArgument('e'));

    const oxErrorMessage range = errorMessageFromException(std::out_of_range("invalid map/set<T> iterator"));
    EXPECT_EQ(oxErr_internal, range.getErrorValue());
    EXPECT_EQ("invalid map/set<T> iterator", range.getArgument('e'));
    EXPECT_EQ(unexpectedText("invalid map/set<T> iterator"), range.getText());

    // Only the exact class means memory: a subclass is reported by its text.
    const oxErrorMessage pool = errorMessageFromException(DerivedBadAlloc());
    EXPECT_EQ(oxErr_internal, pool.getErrorValue());
    EXPECT_EQ(unexpectedText("pool exhausted"), pool.getText());

    // The foreign text is substituted once and never searched for "$e".
    const std::runtime_error dollar("bad $e here");
    EXPECT_EQ(unexpectedText("bad $e here"), errorMessageFromException(dollar).getText());
}

TEST(oxExceptionTest, ThrowResFullLogsAtLevelSixThenThrows) {
    const std::string output = logOf(6, [] {
        try {
            throwResFull();
        } catch (const oxException& caught) {
            EXPECT_EQ(oxErr_resFull, caught.errorMessage.getErrorValue());
            EXPECT_STREQ("", caught.what());
            return;
        }
        ADD_FAILURE() << "nothing thrown";
    });
    EXPECT_NE(std::string::npos, output.find("throwing oxErr_resFull\n")) << output;
    EXPECT_EQ("", logOf(5, [] { EXPECT_THROW(throwResFull(), oxException); }));
}
