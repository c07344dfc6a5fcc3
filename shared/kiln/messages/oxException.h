// The framework's exception: an error value and message in an
// oxErrorMessage. Framework code throws it (or bad_alloc for memory); the
// outermost handlers turn whatever they catch into an oxErrorMessage with
// errorMessageFromException.
// Not safe for concurrent use of one object (a plain value); takes no lock.
#ifndef OX_EXCEPTION_H
#define OX_EXCEPTION_H

#include <exception>
#include <string>

#include "oxErrorMessage.h"

// Ends the two texts below.
extern const char* const oxSupportEmail;
// Literal texts of converted messages; "$e" is the error value or the
// foreign exception's own text.
extern const char* const oxUnspecifiedErrorText;
extern const char* const oxUnexpectedExceptionText;
// The text that goes with oxErr_memFull.
extern const char* const oxMemoryExhaustedText;

class oxException : public std::exception {
public:
    // Error value only: the text is empty.
    explicit oxException(oxErrorValue inErrorValue);
    oxException(oxErrorValue inErrorValue, const char* inText);
    oxException(oxErrorValue inErrorValue, const char* inText, char inKey1, const std::string& inValue1,
                char inKey2, const std::string& inValue2);
    oxException(const oxException& inOther) = default;
    oxException& operator=(const oxException& inOther) = default;

    ~oxException() override;
    // The normalised text of errorMessage. Rebuilt on each call into this
    // object, so the pointer stays valid until the next call or until the
    // exception is destroyed. Gives the empty text if building it fails.
    const char* what() const noexcept override;

    oxErrorMessage errorMessage;

private:
    mutable std::string itsWhatText;
};

// The message for a caught exception: an oxException (or subclass) gives a
// copy of its message, the exact class bad_alloc gives oxErr_memFull, any
// other exception oxErr_internal with its own text as "$e".
oxErrorMessage errorMessageFromException(const std::exception& inException);

// Writes "throwing oxErr_resFull" at level 6 when enabled, then throws an
// oxException with oxErr_resFull.
[[noreturn]] void throwResFull();

#endif
