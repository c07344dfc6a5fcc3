#include "oxProperties.h"

#include <cstring>
#include <iterator>

#include "oxAssert.h"
#include "oxStringUtil.h"

namespace {

// getEntry has no usable cached position.
const size_t kNoCursor = static_cast<size_t>(-1);

const char kAttributeOpening[] = " value=\"";
const char kClosing[] = "\" />";

struct oxNamedReference {
    char itsCharacter;
    const char* itsText;
};

const oxNamedReference kNamedReferences[] = {
    {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}};

const int kEndOfStream = std::char_traits<char>::eof();

bool isWhitespace(int inByte) {
    return inByte == ' ' || inByte == '\t' || inByte == '\n' || inByte == '\v' || inByte == '\f' ||
           inByte == '\r';
}

// Value of a digit in inBase (10 or 16, either case), or -1.
int digitValue(char inChar, int inBase) {
    if (inChar >= '0' && inChar <= '9')
        return inChar - '0';
    if (inBase == 16) {
        const char upper = toUpperAscii(inChar);
        if (upper >= 'A' && upper <= 'F')
            return upper - 'A' + 10;
    }
    return -1;
}

// Parses the digits of a numeric reference starting at inStart up to the
// ";" that must follow them directly. On success gives the low eight bits of
// the value and the position after the ";"; false when there is no digit,
// a byte of the wrong kind, or no ";".
bool parseDigits(const std::string& inText, size_t inStart, int inBase, unsigned char& outByte,
                 size_t& outNext) {
    unsigned value = 0;
    size_t pos = inStart;
    for (; pos < inText.size(); ++pos) {
        const int digit = digitValue(inText[pos], inBase);
        if (digit < 0)
            break;
        // Only the low eight bits count, so overflow cannot matter.
        value = (value * static_cast<unsigned>(inBase) + static_cast<unsigned>(digit)) & 0xFFu;
    }
    if (pos == inStart || pos >= inText.size() || inText[pos] != ';')
        return false;
    outByte = static_cast<unsigned char>(value);
    outNext = pos + 1;
    return true;
}

// True when a complete "&#x<hex digits>;" stands at inPos; outEnd is then
// the position after the ";".
bool isHexReferenceAt(const std::string& inText, size_t inPos, size_t& outEnd) {
    if (inText.compare(inPos, 3, "&#x") != 0)
        return false;
    unsigned char ignored = 0;
    return parseDigits(inText, inPos + 3, 16, ignored, outEnd);
}

void appendHexReference(std::string& ioText, unsigned char inByte) {
    static const char kDigits[] = "0123456789ABCDEF";
    ioText += "&#x";
    ioText += kDigits[inByte >> 4];
    ioText += kDigits[inByte & 0x0F];
    ioText += ';';
}

// Reads bytes straight from the stream's buffer: going through the
// stream's own get and peek costs a sentry per byte, which dominates the
// reading of a large file.
class oxByteReader {
public:
    explicit oxByteReader(std::istream& ioStream) : itsStream(ioStream), itsBuffer(ioStream.rdbuf()) {}
    ~oxByteReader() {
        if (peek() == kEndOfStream)
            itsStream.setstate(std::ios_base::eofbit);
    }
    int peek() { return itsBuffer != nullptr ? itsBuffer->sgetc() : kEndOfStream; }
    int get() { return itsBuffer != nullptr ? itsBuffer->sbumpc() : kEndOfStream; }
    void unget() {
        if (itsBuffer != nullptr)
            itsBuffer->sungetc();
    }

private:
    std::istream& itsStream;
    std::streambuf* itsBuffer;
};

// Takes the next byte when it is inExpected.
bool expect(oxByteReader& ioStream, char inExpected) {
    if (ioStream.peek() != std::char_traits<char>::to_int_type(inExpected))
        return false;
    ioStream.get();
    return true;
}

bool expectText(oxByteReader& ioStream, const char* inText) {
    for (; *inText != '\0'; ++inText) {
        if (!expect(ioStream, *inText))
            return false;
    }
    return true;
}

void skipWhitespace(oxByteReader& ioStream) {
    while (isWhitespace(ioStream.peek()))
        ioStream.get();
}

// Called with the "<" taken and "!" next. A comment ends at its first "--",
// which must be followed by ">".
bool skipComment(oxByteReader& ioStream) {
    if (!expectText(ioStream, "!--"))
        return false;
    for (;;) {
        const int c = ioStream.get();
        if (c == kEndOfStream)
            return false;
        if (c == '-' && ioStream.peek() == '-') {
            ioStream.get();
            return expect(ioStream, '>');
        }
    }
}

// Reads '"...."' into outValue. The stream is binary, so a CR LF pair is
// folded into LF as text-mode reading would; a lone CR stays.
bool readQuotedValue(oxByteReader& ioStream, std::string& outValue) {
    if (!expect(ioStream, '"'))
        return false;
    for (;;) {
        const int c = ioStream.get();
        if (c == kEndOfStream)
            return false;
        if (c == '"')
            return true;
        if (c == '\r' && ioStream.peek() == '\n')
            continue;
        outValue += static_cast<char>(c);
    }
}

}  // namespace

// The order of compareStrings without case (bytes up to the first zero,
// a to z folded), with a fast path: equal bytes need no folding, and keys
// of one file often share long prefixes.
bool oxProperties::oxKeyLess::operator()(const std::string& inA, const std::string& inB) const {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(inA.c_str());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(inB.c_str());
    for (;; ++a, ++b) {
        if (*a == *b) {
            if (*a == 0)
                return false;
            continue;
        }
        const unsigned char foldedA = static_cast<unsigned char>(toUpperAscii(static_cast<char>(*a)));
        const unsigned char foldedB = static_cast<unsigned char>(toUpperAscii(static_cast<char>(*b)));
        if (foldedA != foldedB)
            return foldedA < foldedB;
    }
}

oxProperties::oxProperties() : itsModified(false), itsCursor(), itsCursorIndex(kNoCursor) {}

oxProperties::~oxProperties() {}

void oxProperties::set(const std::string& inKey, const std::string& inValue) {
    oxAssertText(isValidKey(inKey), inKey.c_str());
    // One search whether the key is new or not.
    const oxEntries::iterator found = itsEntries.lower_bound(inKey);
    if (found == itsEntries.end() || itsEntries.key_comp()(inKey, found->first)) {
        const oxEntries::iterator added = itsEntries.emplace_hint(found, inKey, oxEntryValue{inValue, {}});
        added->second.itsPlace = itsOrder.insert(itsOrder.end(), &*added);
        itsModified = true;
        return;
    }
    if (stringsEqual(found->second.itsValue.c_str(), inValue.c_str(), true))
        return;
    found->second.itsValue = inValue;
    itsModified = true;
}

void oxProperties::remove(const std::string& inKey) {
    const oxEntries::iterator found = itsEntries.find(inKey);
    if (found == itsEntries.end())
        return;
    itsModified = true;
    resetCursor();
    itsOrder.erase(found->second.itsPlace);
    itsEntries.erase(found);
}

void oxProperties::clear() {
    resetCursor();
    itsOrder.clear();
    itsEntries.clear();
    itsModified = true;
}

void oxProperties::resetCursor() const {
    itsCursor = itsOrder.end();
    itsCursorIndex = kNoCursor;
}

bool oxProperties::getEntry(size_t inIndex, std::string& outKey, std::string& outValue) const {
    const size_t count = itsOrder.size();
    if (inIndex >= count)
        return false;
    // Start from whichever known position is nearest.
    oxOrder::const_iterator at = itsOrder.begin();
    size_t atIndex = 0;
    if (count - 1 - inIndex < inIndex) {
        at = std::prev(itsOrder.end());
        atIndex = count - 1;
    }
    if (itsCursorIndex < count) {
        const size_t fromCursor = inIndex > itsCursorIndex ? inIndex - itsCursorIndex : itsCursorIndex - inIndex;
        const size_t fromStart = inIndex > atIndex ? inIndex - atIndex : atIndex - inIndex;
        if (fromCursor < fromStart) {
            at = itsCursor;
            atIndex = itsCursorIndex;
        }
    }
    for (; atIndex < inIndex; ++atIndex)
        ++at;
    for (; atIndex > inIndex; --atIndex)
        --at;
    itsCursor = at;
    itsCursorIndex = inIndex;
    outKey = (*at)->first;
    outValue = (*at)->second.itsValue;
    return true;
}

bool oxProperties::get(const std::string& inKey, std::string& outValue) const {
    const oxEntries::const_iterator found = itsEntries.find(inKey);
    if (found == itsEntries.end())
        return false;
    outValue = found->second.itsValue;
    return true;
}

bool oxProperties::writeTo(std::ostream& ioStream, bool inLineEnds) const {
    for (const oxEntryNode* node : itsOrder) {
        const std::string& key = node->first;
        const std::string value = encodeValue(node->second.itsValue);
        ioStream.put('<');
        ioStream.write(key.data(), static_cast<std::streamsize>(key.size()));
        ioStream.write(kAttributeOpening, sizeof(kAttributeOpening) - 1);
        ioStream.write(value.data(), static_cast<std::streamsize>(value.size()));
        ioStream.write(kClosing, sizeof(kClosing) - 1);
        if (inLineEnds) {
            // Written as bytes: the file is opened in binary mode everywhere.
            ioStream.write("\r\n", 2);
            ioStream.flush();
        }
    }
    return ioStream.rdstate() == std::ios_base::goodbit;
}

bool oxProperties::readFrom(std::istream& inStream) {
    itsModified = false;
    if (!inStream.good())
        return true;
    oxByteReader ioStream(inStream);
    for (;;) {
        skipWhitespace(ioStream);
        if (ioStream.peek() == kEndOfStream)
            return true;
        if (ioStream.peek() != '<')
            return true;
        ioStream.get();
        const int next = ioStream.peek();
        if (next == '!') {
            if (!skipComment(ioStream))
                return false;
            continue;
        }
        if (next == kEndOfStream || !isNameCharacter(static_cast<char>(next))) {
            // A declaration, a closing tag or plain text: the entries end here.
            if (next != kEndOfStream)
                ioStream.unget();
            return true;
        }
        std::string key;
        while (ioStream.peek() != kEndOfStream && isNameCharacter(static_cast<char>(ioStream.peek())))
            key += static_cast<char>(ioStream.get());
        if (ioStream.peek() == kEndOfStream)
            return false;
        std::string value;
        skipWhitespace(ioStream);
        if (!expectText(ioStream, "value"))
            return false;
        skipWhitespace(ioStream);
        if (!expect(ioStream, '='))
            return false;
        skipWhitespace(ioStream);
        if (!readQuotedValue(ioStream, value))
            return false;
        skipWhitespace(ioStream);
        if (!expectText(ioStream, "/>"))
            return false;
        if (value.find('&') != std::string::npos)
            value = decodeValue(value);
        set(key, value);
    }
}

std::string oxProperties::encodeValue(const std::string& inValue) {
    // Only the part before the first zero byte is written.
    const std::string value(inValue.c_str());
    std::string encoded;
    encoded.reserve(value.size());
    size_t pos = 0;
    while (pos < value.size()) {
        const char c = value[pos];
        size_t referenceEnd = 0;
        // An already encoded reference passes through, but only a complete
        // one: a partial run could carry a quote or line end into the file.
        if (c == '&' && isHexReferenceAt(value, pos, referenceEnd)) {
            encoded.append(value, pos, referenceEnd - pos);
            pos = referenceEnd;
            continue;
        }
        ++pos;
        const oxNamedReference* named = nullptr;
        for (const oxNamedReference& reference : kNamedReferences) {
            if (reference.itsCharacter == c)
                named = &reference;
        }
        const unsigned char byte = static_cast<unsigned char>(c);
        if (named != nullptr)
            encoded += named->itsText;
        else if ((byte >= 32 && byte <= 126 && c != '\\') || c == '\t')
            encoded += c;
        else
            appendHexReference(encoded, byte);
    }
    return encoded;
}

std::string oxProperties::decodeValue(const std::string& inValue) {
    std::string decoded;
    decoded.reserve(inValue.size());
    size_t pos = 0;
    while (pos < inValue.size()) {
        const char c = inValue[pos];
        if (c != '&') {
            decoded += c;
            ++pos;
            continue;
        }
        if (inValue.compare(pos, 2, "&#") == 0) {
            const bool hex = inValue.compare(pos, 3, "&#x") == 0;
            unsigned char byte = 0;
            size_t next = 0;
            if (parseDigits(inValue, pos + (hex ? 3 : 2), hex ? 16 : 10, byte, next)) {
                if (byte != 0)
                    decoded += static_cast<char>(byte);
                pos = next;
                continue;
            }
            // Malformed: the "&" stays an ordinary byte.
            decoded += c;
            ++pos;
            continue;
        }
        const oxNamedReference* named = nullptr;
        for (const oxNamedReference& reference : kNamedReferences) {
            if (inValue.compare(pos, std::strlen(reference.itsText), reference.itsText) == 0)
                named = &reference;
        }
        if (named != nullptr) {
            decoded += named->itsCharacter;
            pos += std::strlen(named->itsText);
        } else {
            decoded += c;
            ++pos;
        }
    }
    return decoded;
}

bool oxProperties::isNameCharacter(char inChar) {
    return (inChar >= 'A' && inChar <= 'Z') || (inChar >= 'a' && inChar <= 'z') ||
           (inChar >= '0' && inChar <= '9') || inChar == '_' || inChar == ':' || inChar == '.' ||
           inChar == '-';
}

bool oxProperties::isValidKey(const std::string& inKey) {
    if (inKey.empty())
        return false;
    for (const char c : inKey) {
        if (!isNameCharacter(c))
            return false;
    }
    return true;
}
