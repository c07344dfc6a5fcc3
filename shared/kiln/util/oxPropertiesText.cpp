#include "oxPropertiesText.h"

#include <cstring>
#include <iterator>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__)
// The widest scans are built for AVX2 as well, and taken where the
// processor has it (asked at each scan: one load and a test).
#define OX_WIDE_SCANS 1
#include <immintrin.h>
#endif
#include <string_view>
#include <utility>
#include <vector>

#include "oxStringUtil.h"

namespace {

const char kAttributeOpening[] = " value=\"";
const char kClosing[] = "\" />";
const char kWrittenLineEnding[] = "\" />\r\n";
const size_t kAttributeOpeningLength = sizeof(kAttributeOpening) - 1;
const size_t kWrittenLineEndingLength = sizeof(kWrittenLineEnding) - 1;

struct oxNamedReference {
    char itsCharacter;
    const char* itsText;
    size_t itsLength;
};

const oxNamedReference kNamedReferences[] = {
    {'&', "&amp;", 5}, {'<', "&lt;", 4}, {'>', "&gt;", 4}, {'"', "&quot;", 6}, {'\'', "&apos;", 6}};

// The named reference that inText (at an "&") starts with, or null. The
// byte after the "&" tells which one it can be: an escaped value holds
// many, each looked up once by the reader and once by the layout check.
const oxNamedReference* namedReferenceAt(const char* inText, size_t inLength) {
    const size_t kShortest = 4;
    if (inLength < kShortest)
        return nullptr;
    // Compared at a length known here, which the compiler does inline.
    const auto matches = [&](const oxNamedReference& inReference, size_t inReferenceLength) {
        return inLength >= inReferenceLength &&
                       std::memcmp(inText, inReference.itsText, inReferenceLength) == 0
                   ? &inReference
                   : nullptr;
    };
    switch (inText[1]) {
        case 'a':
            return inText[2] == 'm' ? matches(kNamedReferences[0], 5) : matches(kNamedReferences[4], 6);
        case 'l':
            return matches(kNamedReferences[1], 4);
        case 'g':
            return matches(kNamedReferences[2], 4);
        case 'q':
            return matches(kNamedReferences[3], 6);
        default:
            return nullptr;
    }
}

// What each byte is to the file form, looked up rather than compared: the
// reader and writer ask for every byte of a large file.
enum : uint8_t { kWhitespace = 1, kNameCharacter = 2, kPlainValueByte = 4 };

struct oxByteClasses {
    uint8_t itsClasses[256];

    constexpr oxByteClasses() : itsClasses() {
        for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'})
            itsClasses[static_cast<unsigned char>(c)] |= kWhitespace;
        for (int c = 0; c < 256; ++c) {
            if (oxProperties::isNameCharacter(static_cast<char>(c)))
                itsClasses[c] |= kNameCharacter;
            // Printable ASCII but the backslash and the five with named
            // references, and the tab, go into a value as they are.
            if ((c >= 32 && c <= 126 && c != '\\' && c != '&' && c != '<' && c != '>' && c != '"' &&
                 c != '\'') ||
                c == '\t')
                itsClasses[c] |= kPlainValueByte;
        }
    }
    constexpr bool has(char inByte, uint8_t inClass) const {
        return (itsClasses[static_cast<unsigned char>(inByte)] & inClass) != 0;
    }
};

constexpr oxByteClasses theByteClasses;

bool isWhitespace(char inByte) {
    return theByteClasses.has(inByte, kWhitespace);
}

bool isNameByte(char inByte) {
    return theByteClasses.has(inByte, kNameCharacter);
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
bool parseDigits(const char* inText, size_t inLength, size_t inStart, int inBase, unsigned char& outByte,
                 size_t& outNext) {
    unsigned value = 0;
    size_t pos = inStart;
    for (; pos < inLength; ++pos) {
        const int digit = digitValue(inText[pos], inBase);
        if (digit < 0)
            break;
        // Only the low eight bits count, so overflow cannot matter.
        value = (value * static_cast<unsigned>(inBase) + static_cast<unsigned>(digit)) & 0xFFu;
    }
    if (pos == inStart || pos >= inLength || inText[pos] != ';')
        return false;
    outByte = static_cast<unsigned char>(value);
    outNext = pos + 1;
    return true;
}

void appendHexReference(std::string& ioText, unsigned char inByte) {
    static const char kDigits[] = "0123456789ABCDEF";
    ioText += "&#x";
    ioText += kDigits[inByte >> 4];
    ioText += kDigits[inByte & 0x0F];
    ioText += ';';
}

// Whether a value byte goes into the file as it is.
bool isPlainValueByte(char inChar) {
    return theByteClasses.has(inChar, kPlainValueByte);
}

// Sixteen bytes at a time where the processor has the instructions: a
// large file is nearly all values, and the few bytes that matter in them
// are found without looking at each byte in turn.
#if defined(__SSE2__)
const size_t kBlock = 16;

__m128i loadBlock(const char* inBytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(inBytes));
}

__m128i bytesEqual(__m128i inBytes, char inByte) {
    return _mm_cmpeq_epi8(inBytes, _mm_set1_epi8(inByte));
}

// A bit for each byte that isPlainValueByte refuses.
unsigned nonPlainBytes(__m128i inBytes) {
    // Signed: below a space, or 0x80 and above.
    const __m128i control = _mm_cmplt_epi8(inBytes, _mm_set1_epi8(' '));
    __m128i refused = _mm_andnot_si128(bytesEqual(inBytes, '\t'), control);
    for (const char c : {'\x7F', '\\', '"'})
        refused = _mm_or_si128(refused, bytesEqual(inBytes, c));
    // Pairs one bit apart, one comparison each: '&' and '\'', '<' and '>'.
    refused = _mm_or_si128(refused, bytesEqual(_mm_or_si128(inBytes, _mm_set1_epi8(0x01)), '\''));
    refused = _mm_or_si128(refused, bytesEqual(_mm_or_si128(inBytes, _mm_set1_epi8(0x02)), '>'));
    return static_cast<unsigned>(_mm_movemask_epi8(refused));
}

// True where inLow < byte < inHigh (signed, so no byte of 0x80 or above).
__m128i bytesBetween(__m128i inBytes, char inLow, char inHigh) {
    return _mm_and_si128(_mm_cmpgt_epi8(inBytes, _mm_set1_epi8(inLow)),
                         _mm_cmpgt_epi8(_mm_set1_epi8(inHigh), inBytes));
}

// A bit for each name character (oxProperties::isNameCharacter).
unsigned nameBytes(__m128i inBytes) {
    const __m128i letters = bytesBetween(_mm_or_si128(inBytes, _mm_set1_epi8(0x20)), 'a' - 1, 'z' + 1);
    // '-', '.', '/', the digits and ':' stand together; '/' is no name
    // character.
    const __m128i digitsAndMarks =
        _mm_andnot_si128(bytesEqual(inBytes, '/'), bytesBetween(inBytes, '-' - 1, ':' + 1));
    const __m128i names = _mm_or_si128(_mm_or_si128(letters, digitsAndMarks), bytesEqual(inBytes, '_'));
    return static_cast<unsigned>(_mm_movemask_epi8(names));
}
#endif

#if defined(OX_WIDE_SCANS)
const size_t kWideBlock = 32;

// A set of bytes as two tables of the low and the high half of a byte: a
// byte is in it when the classes of its halves share a bit. A table
// lookup then does what ten comparisons did.
struct oxHalfTables {
    uint8_t itsLow[16];
    uint8_t itsHigh[16];

    constexpr bool holds(int inByte) const { return (itsLow[inByte & 0x0F] & itsHigh[inByte >> 4]) != 0; }
};

// One class: the high halves (hexadecimal digits) whose bytes with one
// of the low halves are in the set.
struct oxHalfClass {
    const char* itsHighHalves;
    const char* itsLowHalves;
};

constexpr int hexDigitValue(char inDigit) {
    return inDigit <= '9' ? inDigit - '0' : inDigit - 'A' + 10;
}

template <size_t kCount>
constexpr oxHalfTables makeHalfTables(const oxHalfClass (&inClasses)[kCount]) {
    static_assert(kCount <= 8, "a class is a bit of a byte");
    oxHalfTables tables{};
    for (size_t bit = 0; bit < kCount; ++bit) {
        for (const char* digit = inClasses[bit].itsHighHalves; *digit != '\0'; ++digit)
            tables.itsHigh[hexDigitValue(*digit)] |= static_cast<uint8_t>(1u << bit);
        for (const char* digit = inClasses[bit].itsLowHalves; *digit != '\0'; ++digit)
            tables.itsLow[hexDigitValue(*digit)] |= static_cast<uint8_t>(1u << bit);
    }
    return tables;
}

constexpr char kEveryHalf[] = "0123456789ABCDEF";
// What a value refuses: control bytes but the tab, '"', '&', '\'', '<',
// '>', '\\', DEL, and 0x80 on.
constexpr oxHalfClass kRefusedClasses[] = {
    {"0", "012345678ABCDEF"}, {"1", kEveryHalf}, {"2", "267"}, {"3", "CE"}, {"5", "C"}, {"7", "F"},
    {"89ABCDEF", kEveryHalf}};
constexpr oxHalfTables theRefusedHalves = makeHalfTables(kRefusedClasses);
// Name characters: '-', '.', digits, ':', letters and '_'.
constexpr oxHalfClass kNameClasses[] = {
    {"2", "DE"}, {"3", "0123456789A"}, {"46", "123456789ABCDEF"}, {"57", "0123456789A"}, {"5", "F"}};
constexpr oxHalfTables theNameHalves = makeHalfTables(kNameClasses);

constexpr bool halvesHold(const oxHalfTables& inTables, uint8_t inClass, bool inHeld) {
    for (int byte = 0; byte < 256; ++byte) {
        if (inTables.holds(byte) != (theByteClasses.has(static_cast<char>(byte), inClass) == inHeld))
            return false;
    }
    return true;
}
static_assert(halvesHold(theRefusedHalves, kPlainValueByte, false), "refused: exactly the bytes not plain");
static_assert(halvesHold(theNameHalves, kNameCharacter, true), "names: exactly the name characters");

// The bytes of a 32-byte block that the tables hold, as bits.
__attribute__((target("avx2"))) unsigned wideHeldBytes(__m256i inBytes, __m256i inLow, __m256i inHigh) {
    const __m256i halfMask = _mm256_set1_epi8(0x0F);
    const __m256i lowClasses = _mm256_shuffle_epi8(inLow, _mm256_and_si256(inBytes, halfMask));
    const __m256i highClasses =
        _mm256_shuffle_epi8(inHigh, _mm256_and_si256(_mm256_srli_epi16(inBytes, 4), halfMask));
    const __m256i outside =
        _mm256_cmpeq_epi8(_mm256_and_si256(lowClasses, highClasses), _mm256_setzero_si256());
    return ~static_cast<unsigned>(_mm256_movemask_epi8(outside));
}

__attribute__((target("avx2"))) __m256i wideTable(const uint8_t (&inTable)[16]) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(inTable)));
}

// How many bytes of the whole 32-byte blocks from inText on pass before
// the first that stops the scan: the first the tables hold, or with
// kStopOutside the first they do not hold. It found one when the result
// leaves at least a block to the end.
template <bool kStopOutside>
__attribute__((target("avx2"), always_inline)) inline size_t wideScanWith(const char* inText, size_t inLength,
                                                                          __m256i inLow, __m256i inHigh) {
    size_t pos = 0;
    for (; pos + kWideBlock <= inLength; pos += kWideBlock) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inText + pos));
        const unsigned held = wideHeldBytes(bytes, inLow, inHigh);
        const unsigned stops = kStopOutside ? ~held : held;
        if (stops != 0)
            return pos + static_cast<size_t>(__builtin_ctz(stops));
    }
    return pos;
}

// The same with one pair of tables built in.
template <const oxHalfTables& kTables, bool kStopOutside>
__attribute__((target("avx2"))) size_t wideScanLength(const char* inText, size_t inLength) {
    return wideScanWith<kStopOutside>(inText, inLength, wideTable(kTables.itsLow),
                                      wideTable(kTables.itsHigh));
}

bool hasWideScans() {
    return __builtin_cpu_supports("avx2");
}

// Lines in the writer's own layout with plain values, one after the
// other: what nearly every file is made of. Read here with the scans'
// tables loaded once for the whole run rather than twice a line. Hands
// each line's key and value to inTake and returns where the first line
// that is not such a line starts; a line whose scan would reach into the
// last block of the text is left too, to the reader of single lines.
template <class Take>
__attribute__((target("avx2"))) const char* readWrittenLines(const char* inText, const char* inEnd,
                                                             const Take& inTake) {
    const __m256i nameLow = wideTable(theNameHalves.itsLow);
    const __m256i nameHigh = wideTable(theNameHalves.itsHigh);
    const __m256i refusedLow = wideTable(theRefusedHalves.itsLow);
    const __m256i refusedHigh = wideTable(theRefusedHalves.itsHigh);
    const char* line = inText;
    for (;;) {
        const size_t rest = static_cast<size_t>(inEnd - line);
        if (rest < 2 || line[0] != '<' || !isNameByte(line[1]))
            return line;
        const char* const key = line + 1;
        const size_t keyLength = wideScanWith<true>(key, rest - 1, nameLow, nameHigh);
        // A block is left after the key: the opening fits before the end.
        if (keyLength + kWideBlock > rest - 1 || keyLength > oxProperties::kMostKeyLength ||
            std::memcmp(key + keyLength, kAttributeOpening, kAttributeOpeningLength) != 0)
            return line;
        const char* const value = key + keyLength + kAttributeOpeningLength;
        const size_t valueRest = static_cast<size_t>(inEnd - value);
        const size_t valueLength = wideScanWith<false>(value, valueRest, refusedLow, refusedHigh);
        // The same for the ending; the first byte a plain value refuses
        // must be its closing quote.
        const char* const ending = value + valueLength;
        if (valueLength + kWideBlock > valueRest || valueLength > oxProperties::kMostValueLength ||
            std::memcmp(ending, kWrittenLineEnding, kWrittenLineEndingLength) != 0)
            return line;
        inTake(key, keyLength, value, valueLength);
        line = ending + kWrittenLineEndingLength;
    }
}
#endif

// How many name characters stand from inText on.
size_t nameLength(const char* inText, size_t inLength) {
    size_t pos = 0;
#if defined(OX_WIDE_SCANS)
    // The wide scan stops at the byte, or leaves fewer than 32 bytes to
    // the narrow one.
    if (inLength >= kWideBlock && hasWideScans() &&
        (pos = wideScanLength<theNameHalves, true>(inText, inLength)) + kWideBlock <= inLength)
        return pos;
#endif
#if defined(__SSE2__)
    const unsigned kAllBytes = 0xFFFF;
    for (; pos + kBlock <= inLength; pos += kBlock) {
        const unsigned others = ~nameBytes(loadBlock(inText + pos)) & kAllBytes;
        if (others != 0)
            return pos + static_cast<size_t>(__builtin_ctz(others));
    }
#endif
    while (pos < inLength && isNameByte(inText[pos]))
        ++pos;
    return pos;
}

// How many bytes from inText on go into a value as they are.
size_t plainPrefixLength(const char* inText, size_t inLength) {
    size_t pos = 0;
#if defined(OX_WIDE_SCANS)
    if (inLength >= kWideBlock && hasWideScans() &&
        (pos = wideScanLength<theRefusedHalves, false>(inText, inLength)) + kWideBlock <= inLength)
        return pos;
#endif
#if defined(__SSE2__)
    for (; pos + kBlock <= inLength; pos += kBlock) {
        const unsigned refused = nonPlainBytes(loadBlock(inText + pos));
        if (refused != 0)
            return pos + static_cast<size_t>(__builtin_ctz(refused));
    }
#endif
    while (pos < inLength && isPlainValueByte(inText[pos]))
        ++pos;
    return pos;
}

// Where the first '"' stands from inText on (inLength when none), and
// whether every byte before it goes into a value as it is.
size_t findValueEnd(const char* inText, size_t inLength, bool& outPlain) {
    // A quote is no plain byte: the first byte refused is the end of a
    // plain value.
    const size_t pos = plainPrefixLength(inText, inLength);
    outPlain = pos == inLength || inText[pos] == '"';
    if (outPlain)
        return pos;
    const void* quote = std::memchr(inText + pos, '"', inLength - pos);
    return quote != nullptr ? static_cast<size_t>(static_cast<const char*>(quote) - inText) : inLength;
}

// Appends the escaped form of the bytes of inValue before its first zero.
void appendEncoded(std::string& ioText, std::string_view inValue) {
    const void* zero = std::memchr(inValue.data(), '\0', inValue.size());
    const std::string::size_type end =
        zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - inValue.data())
                        : inValue.size();
    std::string::size_type pos = 0;
    while (pos < end) {
        // A run of plain bytes goes in one piece.
        const std::string::size_type plainEnd = pos + plainPrefixLength(inValue.data() + pos, end - pos);
        ioText.append(inValue.data() + pos, plainEnd - pos);
        pos = plainEnd;
        if (pos >= end)
            break;
        // Every "&" is escaped, one that starts a reference too: the reader
        // resolves references, so only then does the value read back as given.
        const char c = inValue[pos];
        ++pos;
        const oxNamedReference* named = nullptr;
        for (const oxNamedReference& reference : kNamedReferences) {
            if (reference.itsCharacter == c)
                named = &reference;
        }
        if (named != nullptr)
            ioText += named->itsText;
        else
            appendHexReference(ioText, static_cast<unsigned char>(c));
    }
}

// An entry as read: the key, the value's raw bytes, whether they need
// resolving, and whether the line is the one the writer would make.
struct oxReadEntry {
    const char* itsKey = nullptr;
    size_t itsKeyLength = 0;
    const char* itsRaw = nullptr;
    size_t itsRawLength = 0;
    bool itsIsPlain = false;
    // Laid out as the writer lays an entry out, CR LF included.
    bool itsHasWrittenLayout = false;
};

// Reads the file form in place; every step takes bytes from itsNext.
class oxTextReader {
public:
    oxTextReader(const char* inText, size_t inLength) : itsNext(inText), itsEnd(inText + inLength) {}

    bool atEnd() const { return itsNext == itsEnd; }
    // The next byte, or zero at the end (zero is no byte the grammar
    // looks for, so it ends every match).
    char peek(size_t inAhead = 0) const {
        return static_cast<size_t>(itsEnd - itsNext) > inAhead ? itsNext[inAhead] : '\0';
    }
    bool isNameAt(size_t inAhead) const {
        return static_cast<size_t>(itsEnd - itsNext) > inAhead && isNameByte(itsNext[inAhead]);
    }
    const char* position() const { return itsNext; }

    void skipWhitespace() {
        while (itsNext != itsEnd && isWhitespace(*itsNext))
            ++itsNext;
    }
    // The same; true when a line feed was among the blanks.
    bool skipWhitespaceAcrossLines() {
        bool lineFeed = false;
        for (; itsNext != itsEnd && isWhitespace(*itsNext); ++itsNext)
            lineFeed = lineFeed || *itsNext == '\n';
        return lineFeed;
    }
    bool startsWith(const char* inText, size_t inLength) const {
        return static_cast<size_t>(itsEnd - itsNext) >= inLength &&
               std::memcmp(itsNext, inText, inLength) == 0;
    }
    bool expect(char inByte) {
        if (itsNext == itsEnd || *itsNext != inByte)
            return false;
        ++itsNext;
        return true;
    }
    bool expect(const char* inText, size_t inLength) {
        if (static_cast<size_t>(itsEnd - itsNext) < inLength || std::memcmp(itsNext, inText, inLength) != 0)
            return false;
        itsNext += inLength;
        return true;
    }
    // At "<!". A comment ends at its first "--", which must be followed
    // by ">".
    bool skipComment() {
        if (!expect("<!--", 4))
            return false;
        for (; itsEnd - itsNext >= 2; ++itsNext) {
            if (itsNext[0] == '-' && itsNext[1] == '-') {
                itsNext += 2;
                return expect('>');
            }
        }
        return false;
    }
    // Name characters up to the first other byte; false when the text
    // ends inside the name.
    bool readKey(const char*& outStart, size_t& outLength) {
        outStart = itsNext;
        outLength = nameLength(itsNext, static_cast<size_t>(itsEnd - itsNext));
        itsNext += outLength;
        return itsNext != itsEnd;
    }
    // At "<" and a name character: the entry when its line is exactly the
    // writer's with a plain value, which is what nearly every line of a
    // large file is, read in one go up to past its CR LF. False, and the
    // reader unmoved, for any other line (the entry reader then reads it).
    bool readWrittenEntry(oxReadEntry& outEntry) {
        const char* const kOpening = kAttributeOpening;
        const char* const kEnding = kWrittenLineEnding;
        const size_t kOpeningLength = kAttributeOpeningLength;
        const size_t kEndingLength = kWrittenLineEndingLength;
        const char* const key = itsNext + 1;
        const size_t keyLength = nameLength(key, static_cast<size_t>(itsEnd - key));
        const char* const value = key + keyLength + kOpeningLength;
        if (keyLength > oxProperties::kMostKeyLength ||
            itsEnd - value < static_cast<ptrdiff_t>(kEndingLength) ||
            std::memcmp(key + keyLength, kOpening, kOpeningLength) != 0)
            return false;
        bool plain = false;
        const size_t valueLength = findValueEnd(value, static_cast<size_t>(itsEnd - value), plain);
        const char* const ending = value + valueLength;
        if (!plain || valueLength > oxProperties::kMostValueLength ||
            itsEnd - ending < static_cast<ptrdiff_t>(kEndingLength) ||
            std::memcmp(ending, kEnding, kEndingLength) != 0)
            return false;
        outEntry = oxReadEntry{key, keyLength, value, valueLength, true, true};
        itsNext = ending + kEndingLength;
        return true;
    }
    // After a line in the writer's own layout: the like lines that follow
    // it go to the table at once.
    void takeWrittenLines(oxProperties& ioTable) {
#if defined(OX_WIDE_SCANS)
        if (!hasWideScans())
            return;
        const auto take = [&ioTable](const char* inKey, size_t inKeyLength, const char* inValue,
                                     size_t inValueLength) {
            ioTable.addReadEntry(inKey, inKeyLength, inValue, inValueLength, true);
        };
        itsNext = readWrittenLines(itsNext, itsEnd, take);
#else
        (void)ioTable;
#endif
    }
    // '"...."': the raw bytes between the quotes, and whether they all go
    // into a value as they are (then there is nothing to resolve).
    bool readQuotedValue(const char*& outStart, size_t& outLength, bool& outPlain) {
        if (!expect('"'))
            return false;
        const size_t rest = static_cast<size_t>(itsEnd - itsNext);
        const size_t quote = findValueEnd(itsNext, rest, outPlain);
        if (quote == rest)
            return false;
        outStart = itsNext;
        outLength = quote;
        itsNext += quote + 1;
        return true;
    }

private:
    const char* itsNext;
    const char* itsEnd;
};

// The reference standing at inText[inPos] (an "&"): its byte, and the
// position after it. False for a malformed one, whose "&" stays an
// ordinary byte. outByte is zero for a numeric reference to zero, which
// stands for no byte.
bool resolveReference(const char* inText, size_t inLength, size_t inPos, unsigned char& outByte,
                      size_t& outNext) {
    if (inPos + 1 < inLength && inText[inPos + 1] == '#') {
        const bool hex = inPos + 2 < inLength && inText[inPos + 2] == 'x';
        return parseDigits(inText, inLength, inPos + (hex ? 3 : 2), hex ? 16 : 10, outByte, outNext);
    }
    const oxNamedReference* const named = namedReferenceAt(inText + inPos, inLength - inPos);
    if (named == nullptr)
        return false;
    outByte = static_cast<unsigned char>(named->itsCharacter);
    outNext = inPos + named->itsLength;
    return true;
}

// How many bytes from inText on need no resolving: up to the first "&",
// or CR when line ends are folded.
size_t plainRunLength(const char* inText, size_t inLength, bool inFoldLineEnds) {
    size_t pos = 0;
#if defined(__SSE2__)
    for (; pos + kBlock <= inLength; pos += kBlock) {
        const __m128i bytes = loadBlock(inText + pos);
        __m128i stops = bytesEqual(bytes, '&');
        if (inFoldLineEnds)
            stops = _mm_or_si128(stops, bytesEqual(bytes, '\r'));
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(stops));
        if (found != 0)
            return pos + static_cast<size_t>(__builtin_ctz(found));
    }
#endif
    while (pos < inLength && inText[pos] != '&' && !(inFoldLineEnds && inText[pos] == '\r'))
        ++pos;
    return pos;
}

// Resolves the references of inText into outText and returns the length
// of the result. outText may be inText itself: the result is never longer,
// and no byte is written ahead of the one being read. Plain runs move
// whole. With inFoldLineEnds, CR LF becomes LF as text-mode reading would
// (a lone CR stays); a resolved "&#13;" is never folded.
size_t decodeInto(const char* inText, size_t inLength, char* outText, bool inFoldLineEnds) {
    size_t pos = 0;
    size_t out = 0;
    while (pos < inLength) {
        const size_t runEnd = pos + plainRunLength(inText + pos, inLength - pos, inFoldLineEnds);
        std::memmove(outText + out, inText + pos, runEnd - pos);
        out += runEnd - pos;
        pos = runEnd;
        if (pos >= inLength)
            break;
        if (inText[pos] == '\r') {
            if (!(pos + 1 < inLength && inText[pos + 1] == '\n'))
                outText[out++] = '\r';
            ++pos;
            continue;
        }
        unsigned char byte = 0;
        size_t next = 0;
        if (!resolveReference(inText, inLength, pos, byte, next)) {
            outText[out++] = '&';
            ++pos;
            continue;
        }
        if (byte != 0)
            outText[out++] = static_cast<char>(byte);
        pos = next;
    }
    return out;
}

// The length of the reference at inText (an "&") when it is the one
// appendEncoded writes for its byte, and that byte; else 0.
size_t writtenReferenceAt(const char* inText, size_t inLength, char& outByte) {
    const oxNamedReference* const named = namedReferenceAt(inText, inLength);
    if (named != nullptr) {
        outByte = named->itsCharacter;
        return named->itsLength;
    }
    const auto upperHex = [](char inDigit) {
        return (inDigit >= '0' && inDigit <= '9') || (inDigit >= 'A' && inDigit <= 'F');
    };
    const size_t kHexLength = 6;  // "&#xHH;"
    if (inLength < kHexLength || inText[1] != '#' || inText[2] != 'x' || !upperHex(inText[3]) ||
        !upperHex(inText[4]) || inText[5] != ';')
        return 0;
    const char byte = static_cast<char>(digitValue(inText[3], 16) * 16 + digitValue(inText[4], 16));
    // Zero ends a value, plain bytes go as they are, and the five have names.
    if (byte == '\0' || isPlainValueByte(byte))
        return 0;
    for (const oxNamedReference& reference : kNamedReferences) {
        if (reference.itsCharacter == byte)
            return 0;
    }
    outByte = byte;
    return kHexLength;
}

const size_t kNotWritten = static_cast<size_t>(-1);

// Resolves inText into outText (elsewhere) when it is exactly what
// appendEncoded writes for the value it stands for, so that the writer
// would write it again byte for byte; else kNotWritten. One pass does
// both: the check finds every reference that the resolving needs.
size_t decodeWrittenInto(const char* inText, size_t inLength, char* outText) {
    size_t out = 0;
    for (size_t pos = 0;;) {
        const size_t plain = plainPrefixLength(inText + pos, inLength - pos);
        std::memcpy(outText + out, inText + pos, plain);
        pos += plain;
        out += plain;
        if (pos == inLength)
            return out;
        char byte = 0;
        const size_t reference =
            inText[pos] == '&' ? writtenReferenceAt(inText + pos, inLength - pos, byte) : 0;
        if (reference == 0)
            return kNotWritten;
        outText[out++] = byte;
        pos += reference;
    }
}

using oxCommentPlace = oxProperties::oxCommentPlace;

// One entry's line in the file form.
void appendEntry(std::string& ioText, std::string_view inKey, std::string_view inValue, bool inLineEnds) {
    const char* const value = inValue.data();
    // Zero is no plain byte, so a value that is plain to its end holds none.
    const size_t plain = plainPrefixLength(value, inValue.size());
    if (plain == inValue.size()) {
        // The usual case, laid out at once rather than in six appends.
        const size_t kOpeningLength = sizeof(kAttributeOpening) - 1;
        const size_t kClosingLength = sizeof(kClosing) - 1;
        const size_t start = ioText.size();
        ioText.resize(start + 1 + inKey.size() + kOpeningLength + plain + kClosingLength +
                      (inLineEnds ? 2 : 0));
        char* out = &ioText[start];
        *out++ = '<';
        out = static_cast<char*>(std::memcpy(out, inKey.data(), inKey.size())) + inKey.size();
        out = static_cast<char*>(std::memcpy(out, kAttributeOpening, kOpeningLength)) + kOpeningLength;
        out = static_cast<char*>(std::memcpy(out, value, plain)) + plain;
        out = static_cast<char*>(std::memcpy(out, kClosing, kClosingLength)) + kClosingLength;
        // Written as bytes: the file is opened in binary mode everywhere.
        if (inLineEnds)
            std::memcpy(out, "\r\n", 2);
        return;
    }
    ioText += '<';
    ioText.append(inKey.data(), inKey.size());
    ioText.append(kAttributeOpening, sizeof(kAttributeOpening) - 1);
    // Only the part before the first zero byte is written.
    appendEncoded(ioText, inValue);
    ioText.append(kClosing, sizeof(kClosing) - 1);
    if (inLineEnds)
        ioText.append("\r\n", 2);
}

void appendOwnLineComment(std::string& ioText, std::string_view inComment, bool inLineEnds) {
    ioText.append(inComment.data(), inComment.size());
    if (inLineEnds)
        ioText.append("\r\n", 2);
}

// What stands at the slot inSlot, from its first comment inComment on:
// comments on their own lines, then the entry's line with its comments
// when the entry is live. Returns the next comment.
size_t appendLineWithComments(const oxProperties& inTable, std::string& ioText, size_t inSlot,
                              size_t inComment, bool inLineEnds) {
    size_t comment = inComment;
    const auto standsHere = [&](oxCommentPlace inPlace) {
        if (comment >= inTable.commentCount())
            return false;
        const oxProperties::oxCommentView view = inTable.commentAt(comment);
        return view.itsEntry == inSlot && view.itsPlace == inPlace;
    };
    for (; standsHere(oxCommentPlace::ownLine); ++comment)
        appendOwnLineComment(ioText, inTable.commentAt(comment).itsText, inLineEnds);
    std::string_view key;
    std::string_view value;
    if (!inTable.entryAt(inSlot, key, value)) {
        // A removed entry's line took its comments with it.
        while (comment < inTable.commentCount() && inTable.commentAt(comment).itsEntry == inSlot)
            ++comment;
        return comment;
    }
    for (; standsHere(oxCommentPlace::beforeEntry); ++comment) {
        const std::string_view text = inTable.commentAt(comment).itsText;
        ioText.append(text.data(), text.size());
        ioText += ' ';
    }
    if (!standsHere(oxCommentPlace::afterEntry)) {
        appendEntry(ioText, key, value, inLineEnds);
        return comment;
    }
    appendEntry(ioText, key, value, false);
    for (; standsHere(oxCommentPlace::afterEntry); ++comment) {
        const std::string_view text = inTable.commentAt(comment).itsText;
        ioText += ' ';
        ioText.append(text.data(), text.size());
    }
    if (inLineEnds)
        ioText.append("\r\n", 2);
    return comment;
}

// Lines read that the writer would write the same, and that stood next
// to each other, go out as one copy: an unchanged file is then mostly
// copied, not written anew. A long run may instead be lent as it stands
// (see appendSome), which ends the piece.
class oxVerbatimRun {
public:
    oxVerbatimRun(std::string& ioText, std::string_view* outLent)
        : itsText(ioText), itsLent(outLent), itsStart(nullptr), itsLength(0) {}

    size_t length() const { return itsLength; }
    bool continues(const char* inLine) const { return itsStart + itsLength == inLine; }
    void add(const char* inLine, size_t inLength) {
        if (itsLength == 0)
            itsStart = inLine;
        itsLength += inLength;
    }
    // True when the run was lent: the piece ends with it.
    bool end() {
        // Shorter runs cost less to copy than a write of their own.
        const size_t kLeastLent = 16 * 1024;
        const bool lend = itsLent != nullptr && itsLength >= kLeastLent;
        if (lend)
            *itsLent = std::string_view(itsStart, itsLength);
        else if (itsLength != 0)
            itsText.append(itsStart, itsLength);
        itsLength = 0;
        return lend;
    }

private:
    std::string& itsText;
    std::string_view* itsLent;
    const char* itsStart;
    size_t itsLength;
};

// Comments wait here until it is known whether an entry follows on their
// line (they stand before it) or a line end does (they stand alone).
class oxLeadingComments {
public:
    explicit oxLeadingComments(oxProperties& ioTable) : itsTable(ioTable) {}

    void add(const char* inText, size_t inLength) { itsWaiting.push_back(oxWaiting{inText, inLength}); }
    void flush(oxCommentPlace inPlace) {
        for (const oxWaiting& waiting : itsWaiting)
            itsTable.addReadComment(waiting.itsText, waiting.itsLength, inPlace);
        itsWaiting.clear();
    }

private:
    struct oxWaiting {
        const char* itsText;
        size_t itsLength;
    };
    oxProperties& itsTable;
    std::vector<oxWaiting> itsWaiting;
};

// Every entry and comment starts with "<": upper bounds for the table's
// room that cost one fast scan.
void countOpenings(const char* inText, size_t inLength, size_t& outOpenings, size_t& outCommentOpenings) {
    size_t pos = 0;
#if defined(__SSE2__)
    // Four blocks a round, counted per byte lane, and summed before a lane
    // can overflow (a round adds at most four).
    const size_t kRoundBytes = 4 * kBlock;
    const size_t kMostRounds = 63;
    const auto sum = [](__m128i inCounts) {
        const __m128i halves = _mm_sad_epu8(inCounts, _mm_setzero_si128());
        return static_cast<size_t>(_mm_cvtsi128_si32(halves)) +
               static_cast<size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(halves, halves)));
    };
    while (pos + kRoundBytes < inLength) {
        __m128i openings = _mm_setzero_si128();
        __m128i comments = _mm_setzero_si128();
        for (size_t round = 0; round < kMostRounds && pos + kRoundBytes < inLength; ++round) {
            for (size_t block = 0; block < 4; ++block, pos += kBlock) {
                const __m128i opening = bytesEqual(loadBlock(inText + pos), '<');
                const __m128i bang = bytesEqual(loadBlock(inText + pos + 1), '!');
                openings = _mm_sub_epi8(openings, opening);
                comments = _mm_sub_epi8(comments, _mm_and_si128(opening, bang));
            }
        }
        outOpenings += sum(openings);
        outCommentOpenings += sum(comments);
    }
#endif
    for (; pos < inLength; ++pos) {
        if (inText[pos] != '<')
            continue;
        ++outOpenings;
        if (pos + 1 < inLength && inText[pos + 1] == '!')
            ++outCommentOpenings;
    }
}

// Reads one entry at "<" followed by a name character; false when it is
// malformed. The writer's own layout is recognised on the way, at little
// cost: it is what nearly every file holds.
bool readEntry(oxTextReader& ioReader, oxReadEntry& outEntry) {
    const char kWrittenOpening[] = " value=";
    const char kWrittenEnding[] = " />\r\n";
    ioReader.expect('<');
    bool read = ioReader.readKey(outEntry.itsKey, outEntry.itsKeyLength) &&
                outEntry.itsKeyLength <= oxProperties::kMostKeyLength;
    bool verbatim = ioReader.startsWith(kWrittenOpening, sizeof(kWrittenOpening) - 1);
    if (!verbatim) {
        ioReader.skipWhitespace();
        read = read && ioReader.expect("value", 5);
        ioReader.skipWhitespace();
        read = read && ioReader.expect('=');
        ioReader.skipWhitespace();
    } else {
        ioReader.expect(kWrittenOpening, sizeof(kWrittenOpening) - 1);
    }
    read = read && ioReader.readQuotedValue(outEntry.itsRaw, outEntry.itsRawLength, outEntry.itsIsPlain) &&
           outEntry.itsRawLength <= oxProperties::kMostValueLength;
    outEntry.itsHasWrittenLayout =
        verbatim && ioReader.startsWith(kWrittenEnding, sizeof(kWrittenEnding) - 1);
    ioReader.skipWhitespace();
    return read && ioReader.expect("/>", 2);
}

// Hands what it reads from inText + inStart to the table in file order;
// the table indexes the entries afterwards, all in one pass. Values that
// need resolving are resolved where they stand, the result being never
// longer than the file's form. Comments stay where they stand too; the
// blanks around one are looked at only to find its line.
bool parseText(oxProperties& ioTable, char* inText, size_t inLength, size_t inStart, size_t& outStop) {
    oxTextReader reader(inText + inStart, inLength - inStart);
    oxLeadingComments leading(ioTable);
    // Whether the reader is on the line of an entry, and whether it took
    // that line's end with the entry.
    bool onEntryLine = false;
    bool lineEndTaken = false;
    bool read = true;
    for (;;) {
        // Only blanks stand between two items: a line feed among them
        // ends the line.
        const bool newLine = reader.skipWhitespaceAcrossLines() || lineEndTaken;
        lineEndTaken = false;
        outStop = static_cast<size_t>(reader.position() - inText) - inStart;
        if (reader.atEnd() || reader.peek() != '<')
            break;
        const char* const start = reader.position();
        if (reader.peek(1) == '!') {
            if (!reader.skipComment()) {
                read = false;
                break;
            }
            if (newLine) {
                onEntryLine = false;
                leading.flush(oxCommentPlace::ownLine);
            }
            const size_t length = static_cast<size_t>(reader.position() - start);
            if (onEntryLine)
                ioTable.addReadComment(start, length, oxCommentPlace::afterEntry);
            else
                leading.add(start, length);
            continue;
        }
        // A declaration, a closing tag or plain text: the entries end here.
        if (!reader.isNameAt(1))
            break;
        oxReadEntry entry;
        lineEndTaken = reader.readWrittenEntry(entry);
        if (!lineEndTaken && !(read = readEntry(reader, entry)))
            break;
        // The comments since the last line end stand on this entry's line.
        leading.flush(newLine ? oxCommentPlace::ownLine : oxCommentPlace::beforeEntry);
        onEntryLine = true;
        // A plain value holds neither a reference nor a CR.
        const bool resolve =
            !entry.itsIsPlain && (std::memchr(entry.itsRaw, '&', entry.itsRawLength) != nullptr ||
                                  std::memchr(entry.itsRaw, '\r', entry.itsRawLength) != nullptr);
        if (!resolve) {
            ioTable.addReadEntry(entry.itsKey, entry.itsKeyLength, entry.itsRaw, entry.itsRawLength,
                                 entry.itsIsPlain && entry.itsHasWrittenLayout);
            // Like lines that follow go to the table at once: each takes its
            // own line end, and no comment stands between them.
            if (lineEndTaken)
                reader.takeWrittenLines(ioTable);
            continue;
        }
        if (entry.itsHasWrittenLayout) {
            // Resolved apart, so that the line can still be copied as read.
            char* const value = ioTable.beginResolvedValue(entry.itsRawLength);
            const size_t length = decodeWrittenInto(entry.itsRaw, entry.itsRawLength, value);
            if (length != kNotWritten) {
                ioTable.addResolvedEntry(entry.itsKey, entry.itsKeyLength, length);
                continue;
            }
            ioTable.dropResolvedValue();
        }
        char* const value = inText + (entry.itsRaw - inText);
        ioTable.addReadEntry(entry.itsKey, entry.itsKeyLength, value,
                             decodeInto(value, entry.itsRawLength, value, true), false);
    }
    leading.flush(oxCommentPlace::ownLine);
    return read;
}

}  // namespace

void oxPropertiesText::appendTo(const oxProperties& inTable, std::string& ioText, bool inLineEnds) {
    // Room for every entry without escapes and every comment with its
    // separator; escapes grow it further.
    const size_t kFixedBytesPerEntry = 16;
    const size_t kFixedBytesPerComment = 2;
    ioText.reserve(ioText.size() + inTable.liveTextBytes() + inTable.size() * kFixedBytesPerEntry +
                   inTable.commentCount() * kFixedBytesPerComment);
    size_t cursor = 0;
    appendSome(inTable, ioText, inLineEnds, cursor, static_cast<size_t>(-1));
}

bool oxPropertiesText::appendSome(const oxProperties& inTable, std::string& ioText, bool inLineEnds,
                                  size_t& ioCursor, size_t inMostBytes) {
    return appendSome(inTable, ioText, inLineEnds, ioCursor, inMostBytes, nullptr);
}

bool oxPropertiesText::appendSome(const oxProperties& inTable, std::string& ioText, bool inLineEnds,
                                  size_t& ioCursor, size_t inMostBytes, std::string_view* outLent) {
    const size_t slots = inTable.orderLength();
    const size_t comments = inTable.commentCount();
    size_t comment = inTable.firstCommentFrom(ioCursor);
    oxVerbatimRun run(ioText, outLent);
    bool lent = false;
    // A lent run ends the piece before the slot that ended the run.
    for (; ioCursor < slots && ioText.size() + run.length() < inMostBytes; ++ioCursor) {
        std::string_view key;
        std::string_view value;
        const char* line = nullptr;
        size_t lineLength = 0;
        if (comment < comments && inTable.commentAt(comment).itsEntry == ioCursor) {
            if ((lent = run.end()))
                break;
            comment = appendLineWithComments(inTable, ioText, ioCursor, comment, inLineEnds);
        } else if (inLineEnds && (lineLength = inTable.verbatimLineAt(ioCursor, line)) != 0) {
            if (!run.continues(line) && (lent = run.end()))
                break;
            run.add(line, lineLength);
        } else if (inTable.entryAt(ioCursor, key, value)) {
            if ((lent = run.end()))
                break;
            appendEntry(ioText, key, value, inLineEnds);
        }
    }
    lent = lent || run.end();
    // What follows a lent run goes in the next piece, after it.
    if (ioCursor < slots || lent)
        return true;
    for (; comment < comments; ++comment)
        appendOwnLineComment(ioText, inTable.commentAt(comment).itsText, inLineEnds);
    // Past every comment too, so that a further call appends nothing.
    ioCursor = slots + 1;
    return false;
}

bool oxPropertiesText::writeTo(const oxProperties& inTable, std::ostream& ioStream, bool inLineEnds) {
    if (inTable.size() > 0 || inTable.commentCount() > 0) {
        std::string text;
        appendTo(inTable, text, inLineEnds);
        ioStream.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (inLineEnds)
            ioStream.flush();
    }
    return ioStream.rdstate() == std::ios_base::goodbit;
}

bool oxPropertiesText::readFrom(oxProperties& ioTable, std::istream& ioStream) {
    if (!ioStream.good()) {
        size_t stop = 0;
        return readFromBuffer(ioTable, std::string(), 0, stop);
    }
    const std::istream::pos_type start = ioStream.tellg();
    const std::string text((std::istreambuf_iterator<char>(ioStream)), std::istreambuf_iterator<char>());
    size_t stop = 0;
    const bool read = readFromText(ioTable, text.data(), text.size(), stop);
    ioStream.clear();
    // Leave the stream where the entries ended, as a reader taking byte
    // by byte would, when it can go back there.
    if (!read || stop == text.size() || start == std::istream::pos_type(-1) ||
        !ioStream.seekg(start + static_cast<std::streamoff>(stop)))
        ioStream.setstate(std::ios_base::eofbit);
    return read;
}

bool oxPropertiesText::readFromText(oxProperties& ioTable, const char* inText, size_t inLength,
                                    size_t& outStop) {
    return readFromBuffer(ioTable, std::string(inText, inLength), 0, outStop);
}

bool oxPropertiesText::readFromBuffer(oxProperties& ioTable, std::string&& ioText, size_t inStart,
                                      size_t& outStop) {
    const size_t length = ioText.size();
    size_t openings = 0;
    size_t commentOpenings = 0;
    countOpenings(ioText.data() + inStart, length - inStart, openings, commentOpenings);
    char* const text = ioTable.beginRead(std::move(ioText), openings - commentOpenings, commentOpenings);
    const bool read = parseText(ioTable, text, length, inStart, outStop);
    // Entries read before a fault stay in the table too.
    ioTable.endRead();
    return read;
}

std::string oxPropertiesText::encodeValue(const std::string& inValue) {
    std::string encoded;
    encoded.reserve(inValue.size());
    appendEncoded(encoded, inValue);
    return encoded;
}

std::string oxPropertiesText::decodeValue(const std::string& inValue) {
    std::string decoded(inValue);
    if (!decoded.empty())
        decoded.resize(decodeInto(inValue.data(), inValue.size(), &decoded[0], false));
    return decoded;
}
