#include "oxException.h"

#include <new>
#include <typeinfo>

#include "oxRawLog.h"

// Literals joined at compile time, so the texts exist before any static
// constructor runs.
#define OX_SUPPORT_EMAIL "support@velqor.example"

const char* const oxSupportEmail = OX_SUPPORT_EMAIL;
const char* const oxUnspecifiedErrorText =
    "An unspecified error \"$e\" occurred.  Please notify Velqor Technical Support at " OX_SUPPORT_EMAIL ".";
const char* const oxUnexpectedExceptionText =
    "An unexpected exception \"$e\" occurred.  Please notify Velqor Technical Support at " OX_SUPPORT_EMAIL
    ".";
const char* const oxMemoryExhaustedText =
    "Could not perform operation because available memory is exhausted.";

oxException::oxException(oxErrorValue inErrorValue) : errorMessage(inErrorValue, nullptr) {}

oxException::oxException(oxErrorValue inErrorValue, const char* inText)
    : errorMessage(inErrorValue, inText) {}

oxException::oxException(oxErrorValue inErrorValue, const char* inText, char inKey1,
                         const std::string& inValue1, char inKey2, const std::string& inValue2)
    : errorMessage(inErrorValue, inText, inKey1, inValue1, inKey2, inValue2) {}

oxException::~oxException() = default;

const char* oxException::what() const noexcept {
    try {
        itsWhatText = errorMessage.getText();
    } catch (...) {
        // what may not throw; an unbuildable text reads as none.
        itsWhatText.clear();
    }
    return itsWhatText.c_str();
}

oxErrorMessage errorMessageFromException(const std::exception& inException) {
    oxErrorMessage message(oxErr_noError, nullptr);
    if (const oxException* framework = dynamic_cast<const oxException*>(&inException)) {
        message = framework->errorMessage;
        if (message.textEquals(oxUnspecifiedErrorText) && !message.hasArgument('e'))
            message.addArgument('e', static_cast<int32_t>(message.getErrorValue()));
    } else if (typeid(inException) == typeid(std::bad_alloc)) {
        // Exactly bad_alloc: a subclass may mean something else and is
        // reported with its own text below.
        message.setErrorValue(oxErr_memFull);
        message.setText(oxMemoryExhaustedText);
    } else {
        const char* ownText = inException.what();
        message.setErrorValue(oxErr_internal);
        message.setText(oxUnexpectedExceptionText);
        message.addArgument('e', std::string(ownText != nullptr ? ownText : ""));
    }
    return message;
}

void throwResFull() {
    if (!oxRawLog::isSuppressed(6))
        oxRawLog::log(6, "throwing oxErr_resFull");
    throw oxException(oxErr_resFull);
}
