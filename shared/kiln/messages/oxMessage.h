// A text shown to a user or written to the log: a literal text or a
// string-server reference, plus one-character arguments substituted for
// "$" and the key when the final text is built. A plain value, copied
// freely; it carries no lock, so one thread uses a given object at a time.
#ifndef OX_MESSAGE_H
#define OX_MESSAGE_H

#include <cstdint>
#include <map>
#include <string>

// No message at all.
const int32_t oxMsg_noRef = 0;
// The text is the message's own itsText.
const int32_t oxMsg_textRef = 0xffff;
// The string server's entry for the no-error text.
const int32_t oxMsg_noErrorRef = 290;

class oxMessage {
public:
    // A null text gives the empty text.
    explicit oxMessage(const char* inText);
    oxMessage(const char* inText, char inKey, const std::string& inValue);
    // The arguments are added in the order given, so on equal keys the
    // first value wins.
    oxMessage(const char* inText, char inKey1, const std::string& inValue1, char inKey2,
              const std::string& inValue2);
    oxMessage(const oxMessage& inOther) = default;
    oxMessage(oxMessage&& ioOther) = default;
    oxMessage& operator=(const oxMessage& inOther) = default;
    oxMessage& operator=(oxMessage&& ioOther) = default;

    // The virtual operations keep this slot order.
    virtual ~oxMessage();
    // No reference, no text, no arguments.
    virtual void clear();
    // True for no reference, or a literal reference with an empty text;
    // a string-server reference is never empty.
    virtual bool isEmpty() const;
    // The final text as buildText of the dynamic class makes it.
    virtual std::string getText() const;
    // Fills outText with the text of the reference and substitutes the
    // arguments in ascending key order; returns outText.
    virtual std::string& buildText(std::string& outText) const;

    // Makes the message literal; arguments are kept.
    void setText(const char* inText);
    // Case ignored for ASCII letters only; the reference is not consulted.
    bool textEquals(const char* inText) const;
    // An existing value for inKey stays; the new one is dropped.
    void addArgument(char inKey, const std::string& inValue);
    // The value's 32-bit pattern written in decimal as unsigned.
    void addArgument(char inKey, int32_t inValue);
    bool hasArgument(char inKey) const;
    // The stored value, or the empty text when inKey has none.
    std::string getArgument(char inKey) const;

    int32_t getRef() const { return itsRef; }
    // For messages made by number from the string server.
    void setRef(int32_t inRef) { itsRef = inRef; }
    // The literal text as stored, placeholders not substituted.
    const std::string& getTextField() const { return itsText; }

protected:
    int32_t itsRef;
    std::string itsText;
    // Ordered by key, which is the order of substitution.
    std::map<char, std::string> itsArguments;
};

#endif
