// A message with an error value, whose built text ends in a full stop.
// Travels inside oxException and thread objects; a plain value like
// oxMessage.
// Not safe for concurrent use of one object (a plain value); takes no lock.
#ifndef OX_ERROR_MESSAGE_H
#define OX_ERROR_MESSAGE_H

#include <cstdint>
#include <string>

#include "oxMessage.h"

// Error values are compared for equality only.
typedef uint16_t oxErrorValue;

const oxErrorValue oxErr_noError = 0;
// Memory exhausted (a caught bad_alloc).
const oxErrorValue oxErr_memFull = 259;
// The operating system refused an event operation.
const oxErrorValue oxErr_resFull = 260;
// Internal errors, deadlocks and any other caught exception.
const oxErrorValue oxErr_internal = 261;

class oxErrorMessage : public oxMessage {
public:
    // With no arguments: no error and the empty literal text.
    explicit oxErrorMessage(oxErrorValue inErrorValue = oxErr_noError, const char* inText = nullptr);
    oxErrorMessage(oxErrorValue inErrorValue, const char* inText, char inKey1, const std::string& inValue1,
                   char inKey2, const std::string& inValue2);
    oxErrorMessage(const oxErrorMessage& inOther) = default;
    oxErrorMessage(oxErrorMessage&& ioOther) = default;
    oxErrorMessage& operator=(const oxErrorMessage& inOther) = default;
    oxErrorMessage& operator=(oxErrorMessage&& ioOther) = default;

    ~oxErrorMessage() override;
    // Also resets the error value to oxErr_noError.
    void clear() override;
    // Also empty for no error with the no-error reference. A message made
    // from an error value alone is empty although it keeps its value.
    bool isEmpty() const override;
    // The base text with trailing blanks removed and a full stop added
    // unless it already ends in ".", "?", "!" or a full stop and a quote.
    std::string& buildText(std::string& outText) const override;

    oxErrorValue getErrorValue() const { return itsErrorValue; }
    void setErrorValue(oxErrorValue inErrorValue) { itsErrorValue = inErrorValue; }

protected:
    oxErrorValue itsErrorValue;
};

#endif
