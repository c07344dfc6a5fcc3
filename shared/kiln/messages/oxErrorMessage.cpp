#include "oxErrorMessage.h"

#include "oxStringUtil.h"

oxErrorMessage::oxErrorMessage(oxErrorValue inErrorValue, const char* inText)
    : oxMessage(inText), itsErrorValue(inErrorValue) {}

oxErrorMessage::oxErrorMessage(oxErrorValue inErrorValue, const char* inText, char inKey1,
                               const std::string& inValue1, char inKey2, const std::string& inValue2)
    : oxMessage(inText, inKey1, inValue1, inKey2, inValue2), itsErrorValue(inErrorValue) {}

oxErrorMessage::~oxErrorMessage() = default;

void oxErrorMessage::clear() {
    oxMessage::clear();
    itsErrorValue = oxErr_noError;
}

bool oxErrorMessage::isEmpty() const {
    return (itsErrorValue == oxErr_noError && itsRef == oxMsg_noErrorRef) || oxMessage::isEmpty();
}

std::string& oxErrorMessage::buildText(std::string& outText) const {
    oxMessage::buildText(outText);
    // Spaces only: a deliberate tab or line end is kept.
    trimRight(outText, ' ');
    if (!outText.empty() && !endsWith(outText, ".", true) && !endsWith(outText, "?", true) &&
        !endsWith(outText, "!", true) && !endsWith(outText, ".\"", true))
        outText += '.';
    return outText;
}
