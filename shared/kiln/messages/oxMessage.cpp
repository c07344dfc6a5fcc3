#include "oxMessage.h"

#include "oxStringServer.h"
#include "oxStringUtil.h"

oxMessage::oxMessage(const char* inText) : itsRef(oxMsg_textRef), itsText(inText != nullptr ? inText : "") {}

oxMessage::oxMessage(const char* inText, char inKey, const std::string& inValue) : oxMessage(inText) {
    addArgument(inKey, inValue);
}

oxMessage::oxMessage(const char* inText, char inKey1, const std::string& inValue1, char inKey2,
                     const std::string& inValue2)
    : oxMessage(inText) {
    addArgument(inKey1, inValue1);
    addArgument(inKey2, inValue2);
}

oxMessage::~oxMessage() = default;

void oxMessage::clear() {
    itsRef = oxMsg_noRef;
    itsArguments.clear();
    itsText.clear();
}

bool oxMessage::isEmpty() const {
    return itsRef == oxMsg_noRef || (itsRef == oxMsg_textRef && itsText.empty());
}

std::string oxMessage::getText() const {
    std::string text;
    buildText(text);
    return text;
}

std::string& oxMessage::buildText(std::string& outText) const {
    if (itsRef == oxMsg_textRef)
        outText = itsText;
    else
        outText = oxStringServer::getString(itsRef);
    if (outText.empty())
        return outText;
    for (const auto& argument : itsArguments)
        replacePlaceholder(outText, argument.first, argument.second);
    return outText;
}

void oxMessage::setText(const char* inText) {
    itsRef = oxMsg_textRef;
    itsText = inText != nullptr ? inText : "";
}

bool oxMessage::textEquals(const char* inText) const {
    return stringsEqual(itsText.c_str(), inText, false);
}

void oxMessage::addArgument(char inKey, const std::string& inValue) {
    itsArguments.emplace(inKey, inValue);
}

void oxMessage::addArgument(char inKey, int32_t inValue) {
    addArgument(inKey, toDecimalString(static_cast<uint32_t>(inValue)));
}

bool oxMessage::hasArgument(char inKey) const {
    return itsArguments.find(inKey) != itsArguments.end();
}

std::string oxMessage::getArgument(char inKey) const {
    const auto found = itsArguments.find(inKey);
    return found != itsArguments.end() ? found->second : std::string();
}
