#include "oxProperties.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "oxRawAssert.h"
#include "oxStringUtil.h"

namespace {

const size_t kNoSlot = static_cast<size_t>(-1);
const size_t kNoEntry = static_cast<size_t>(-1);
const uint32_t kFreeSlot = 0;
const uint32_t kRemovedSlot = UINT32_MAX;
const size_t kSmallestIndex = 16;
// Compacting costs a pass over the order: wait until it pays.
const size_t kFewestRemovedToCompact = 1024;

const char kAttributeOpening[] = " value=\"";
const char kClosing[] = "\" />";

struct oxNamedReference {
    char itsCharacter;
    const char* itsText;
};

const oxNamedReference kNamedReferences[] = {
    {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}};

// What each byte is to the file form, looked up rather than compared: the
// reader and writer ask for every byte of a large file.
enum : uint8_t { kWhitespace = 1, kNameCharacter = 2, kPlainValueByte = 4 };

struct oxByteClasses {
    uint8_t itsClasses[256];

    constexpr oxByteClasses() : itsClasses() {
        for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'})
            itsClasses[static_cast<unsigned char>(c)] |= kWhitespace;
        for (int c = 0; c < 256; ++c) {
            const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            if (letter || (c >= '0' && c <= '9') || c == '_' || c == ':' || c == '.' || c == '-')
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

// Eight bytes at once with a to z folded onto A to Z: a lower-case letter
// is a byte below 0x80 from 'a' to 'z', found by adding so that its top
// bit carries, without carries between the bytes.
uint64_t foldedWord(uint64_t inWord) {
    const uint64_t kOnes = 0x0101010101010101ULL;
    const uint64_t kHighBits = 0x8080808080808080ULL;
    const uint64_t low = inWord & ~kHighBits;
    const uint64_t fromA = (low + kOnes * (0x80 - 'a')) & kHighBits;
    const uint64_t pastZ = (low + kOnes * (0x80 - 'z' - 1)) & kHighBits;
    const uint64_t lowerCase = fromA & ~pastZ & ~inWord;
    return inWord - (lowerCase >> 2);
}

// A multiplicative hash of the folded bytes of a key that holds no zero
// byte, eight at a time: a key is hashed for every entry of a read.
uint32_t hashKeyBytes(const char* inKey, size_t inLength) {
    const size_t length = inLength;
    const uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    uint64_t hash = length * kMultiplier;
    size_t pos = 0;
    for (; pos + 8 <= length; pos += 8) {
        uint64_t word = 0;
        std::memcpy(&word, inKey + pos, 8);
        hash = (hash ^ foldedWord(word)) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (pos < length) {
        uint64_t word = 0;
        std::memcpy(&word, inKey + pos, length - pos);
        hash = (hash ^ foldedWord(word)) * kMultiplier;
    }
    return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// The same for any key: only the bytes before its first zero count.
uint32_t hashKey(const char* inKey, size_t inLength) {
    const void* zero = std::memchr(inKey, '\0', inLength);
    return hashKeyBytes(
        inKey, zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - inKey) : inLength);
}

// The byte at inIndex, or zero past the end: texts compare up to their
// first zero byte, and the end counts as one.
inline char byteAt(const char* inText, size_t inLength, size_t inIndex) {
    return inIndex < inLength ? inText[inIndex] : '\0';
}

// Key identity: equal after folding, up to the first zero byte.
bool sameKey(const char* inA, size_t inLengthA, const char* inB, size_t inLengthB) {
    for (size_t i = 0;; ++i) {
        const char a = byteAt(inA, inLengthA, i);
        if (toUpperAscii(a) != toUpperAscii(byteAt(inB, inLengthB, i)))
            return false;
        if (a == '\0')
            return true;
    }
}

// Value identity: equal byte for byte up to the first zero byte.
bool sameValue(const char* inA, size_t inLengthA, const std::string& inB) {
    const size_t lengthB = std::strlen(inB.c_str());
    const void* zero = std::memchr(inA, '\0', inLengthA);
    const size_t lengthA =
        zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - inA) : inLengthA;
    return lengthA == lengthB && std::memcmp(inA, inB.data(), lengthA) == 0;
}

size_t indexSizeFor(size_t inCount) {
    size_t size = kSmallestIndex;
    while (size < inCount * 2)
        size *= 2;
    return size;
}

// Whether a value byte goes into the file as it is.
bool isPlainValueByte(char inChar) {
    return theByteClasses.has(inChar, kPlainValueByte);
}

// Appends the escaped form of the bytes of inValue before its first zero.
void appendEncoded(std::string& ioText, const std::string& inValue) {
    const std::string::size_type end = std::strlen(inValue.c_str());
    std::string::size_type pos = 0;
    while (pos < end) {
        // A run of plain bytes goes in one piece.
        std::string::size_type plainEnd = pos;
        while (plainEnd < end && isPlainValueByte(inValue[plainEnd]))
            ++plainEnd;
        ioText.append(inValue, pos, plainEnd - pos);
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
        return static_cast<size_t>(itsEnd - itsNext) > inAhead &&
               oxProperties::isNameCharacter(itsNext[inAhead]);
    }
    const char* position() const { return itsNext; }

    void skipWhitespace() {
        while (itsNext != itsEnd && isWhitespace(*itsNext))
            ++itsNext;
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
        while (itsNext != itsEnd && oxProperties::isNameCharacter(*itsNext))
            ++itsNext;
        outLength = static_cast<size_t>(itsNext - outStart);
        return itsNext != itsEnd;
    }
    // '"...."': the raw bytes between the quotes.
    bool readQuotedValue(const char*& outStart, size_t& outLength) {
        if (!expect('"'))
            return false;
        const void* quote = std::memchr(itsNext, '"', static_cast<size_t>(itsEnd - itsNext));
        if (quote == nullptr)
            return false;
        outStart = itsNext;
        outLength = static_cast<size_t>(static_cast<const char*>(quote) - itsNext);
        itsNext = static_cast<const char*>(quote) + 1;
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
    for (const oxNamedReference& reference : kNamedReferences) {
        const size_t length = std::strlen(reference.itsText);
        if (inLength - inPos >= length && std::memcmp(inText + inPos, reference.itsText, length) == 0) {
            outByte = static_cast<unsigned char>(reference.itsCharacter);
            outNext = inPos + length;
            return true;
        }
    }
    return false;
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
        size_t runEnd = pos;
        while (runEnd < inLength && inText[runEnd] != '&' && !(inFoldLineEnds && inText[runEnd] == '\r'))
            ++runEnd;
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

}  // namespace

oxProperties::oxProperties()
    : itsUsedSlots(0), itsLiveCount(0), itsRemovedCount(0), itsDeadBytes(0), itsModified(false) {}

oxProperties::~oxProperties() {}

size_t oxProperties::appendText(const char* inText, size_t inLength) const {
    const size_t offset = itsArena.size();
    itsArena.append(inText, inLength);
    return offset;
}

void oxProperties::set(const std::string& inKey, const std::string& inValue) {
    oxAssertText(isValidKey(inKey), inKey.c_str());
    const uint32_t hash = hashKey(inKey.data(), inKey.size());
    const size_t slot = findSlot(inKey.data(), inKey.size(), hash);
    if (slot != kNoSlot) {
        oxEntry& entry = itsEntries[itsSlots[slot].itsEntry - 1];
        if (sameValue(itsArena.data() + entry.itsValue, entry.itsValueLength, inValue))
            return;
        itsDeadBytes += entry.itsValueLength;
        entry.itsValue = appendText(inValue.data(), inValue.size());
        entry.itsValueLength = inValue.size();
        itsModified = true;
        compactArenaIfWasteful();
        return;
    }
    const size_t key = appendText(inKey.data(), inKey.size());
    const size_t value = appendText(inValue.data(), inValue.size());
    itsEntries.push_back(oxEntry{key, inKey.size(), value, inValue.size(), hash, true});
    ++itsLiveCount;
    itsModified = true;
    if ((itsUsedSlots + 1) * 2 > itsSlots.size())
        rebuildIndex(itsLiveCount);
    else
        indexEntry(itsEntries.size() - 1);
}

void oxProperties::remove(const std::string& inKey) {
    const size_t slot = findSlot(inKey.data(), inKey.size(), hashKey(inKey.data(), inKey.size()));
    if (slot == kNoSlot)
        return;
    oxEntry& entry = itsEntries[itsSlots[slot].itsEntry - 1];
    entry.itsLive = false;
    itsDeadBytes += entry.itsKeyLength + entry.itsValueLength;
    itsSlots[slot].itsEntry = kRemovedSlot;
    --itsLiveCount;
    ++itsRemovedCount;
    itsModified = true;
    if (itsRemovedCount >= kFewestRemovedToCompact && itsRemovedCount > itsLiveCount)
        compact();
}

void oxProperties::clear() {
    itsEntries.clear();
    itsSlots.clear();
    itsComments.clear();
    itsArena.clear();
    itsUsedSlots = 0;
    itsLiveCount = 0;
    itsRemovedCount = 0;
    itsDeadBytes = 0;
    itsModified = true;
}

size_t oxProperties::findSlot(const char* inKey, size_t inLength, uint32_t inHash) const {
    if (itsSlots.empty())
        return kNoSlot;
    const size_t mask = itsSlots.size() - 1;
    for (size_t slot = inHash & mask;; slot = (slot + 1) & mask) {
        const oxSlot& taken = itsSlots[slot];
        if (taken.itsEntry == kFreeSlot)
            return kNoSlot;
        if (taken.itsHash != inHash || taken.itsEntry == kRemovedSlot)
            continue;
        const oxEntry& entry = itsEntries[taken.itsEntry - 1];
        if (sameKey(itsArena.data() + entry.itsKey, entry.itsKeyLength, inKey, inLength))
            return slot;
    }
}

void oxProperties::indexEntry(size_t inEntry) const {
    const size_t mask = itsSlots.size() - 1;
    const uint32_t hash = itsEntries[inEntry].itsHash;
    size_t slot = hash & mask;
    while (itsSlots[slot].itsEntry != kFreeSlot)
        slot = (slot + 1) & mask;
    itsSlots[slot] = oxSlot{static_cast<uint32_t>(inEntry + 1), hash};
    ++itsUsedSlots;
}

void oxProperties::rebuildIndex(size_t inCount) const {
    rebuildIndex(inCount, itsEntries.size());
}

void oxProperties::rebuildIndex(size_t inCount, size_t inIndexed) const {
    itsSlots.assign(indexSizeFor(inCount), oxSlot{kFreeSlot, 0});
    itsUsedSlots = 0;
    for (size_t entry = 0; entry < inIndexed; ++entry) {
        if (itsEntries[entry].itsLive)
            indexEntry(entry);
    }
}

void oxProperties::compact() const {
    size_t kept = 0;
    size_t comment = 0;
    size_t keptComments = 0;
    for (size_t entry = 0; entry < itsEntries.size(); ++entry) {
        const bool live = itsEntries[entry].itsLive;
        // A comment on its own line now stands before the next live entry;
        // one on a removed entry's line went with it.
        for (; comment < itsComments.size() && itsComments[comment].itsEntry == entry; ++comment) {
            if (!live && itsComments[comment].itsPlace != oxCommentPlace::ownLine) {
                itsDeadBytes += itsComments[comment].itsLength;
                continue;
            }
            itsComments[keptComments] = itsComments[comment];
            itsComments[keptComments++].itsEntry = kept;
        }
        if (live)
            itsEntries[kept++] = itsEntries[entry];
    }
    for (; comment < itsComments.size(); ++comment) {
        itsComments[keptComments] = itsComments[comment];
        itsComments[keptComments++].itsEntry = kept;
    }
    itsComments.resize(keptComments);
    itsEntries.resize(kept);
    itsRemovedCount = 0;
    rebuildIndex(kept);
    compactArenaIfWasteful();
}

void oxProperties::compactArenaIfWasteful() const {
    const size_t kFewestDeadBytes = 64 * 1024;
    if (itsDeadBytes < kFewestDeadBytes || itsDeadBytes * 2 < itsArena.size())
        return;
    std::string arena;
    arena.reserve(itsArena.size() - itsDeadBytes);
    for (oxEntry& entry : itsEntries) {
        if (!entry.itsLive)
            continue;
        const size_t key = arena.size();
        arena.append(itsArena, entry.itsKey, entry.itsKeyLength);
        entry.itsKey = key;
        const size_t value = arena.size();
        arena.append(itsArena, entry.itsValue, entry.itsValueLength);
        entry.itsValue = value;
    }
    for (oxComment& comment : itsComments) {
        const size_t text = arena.size();
        arena.append(itsArena, comment.itsText, comment.itsLength);
        comment.itsText = text;
    }
    itsArena.swap(arena);
    itsDeadBytes = 0;
}

// Takes the entries from inFirst on into the index as set would, in
// order: a key already there keeps its place and spelling and takes the
// value, and the later entry goes. The slot of an entry a few ahead is
// fetched early, since on a large table nearly every first look misses
// the cache.
void oxProperties::indexReadEntries(size_t inFirst) {
    const size_t kAhead = 8;
    const size_t count = itsEntries.size();
    if (indexSizeFor(itsLiveCount + count - inFirst) > itsSlots.size())
        rebuildIndex(itsLiveCount + count - inFirst, inFirst);
    for (size_t entry = inFirst; entry < count; ++entry) {
        if (entry + kAhead < count)
            __builtin_prefetch(&itsSlots[itsEntries[entry + kAhead].itsHash & (itsSlots.size() - 1)]);
        oxEntry& added = itsEntries[entry];
        const size_t slot = findSlot(itsArena.data() + added.itsKey, added.itsKeyLength, added.itsHash);
        if (slot == kNoSlot) {
            ++itsLiveCount;
            itsModified = true;
            indexEntry(entry);
            continue;
        }
        oxEntry& first = itsEntries[itsSlots[slot].itsEntry - 1];
        const std::string value(itsArena, added.itsValue, added.itsValueLength);
        if (!sameValue(itsArena.data() + first.itsValue, first.itsValueLength, value)) {
            itsDeadBytes += first.itsValueLength;
            first.itsValue = added.itsValue;
            first.itsValueLength = added.itsValueLength;
            itsModified = true;
        } else {
            itsDeadBytes += added.itsValueLength;
        }
        added.itsLive = false;
        itsDeadBytes += added.itsKeyLength;
        ++itsRemovedCount;
        // The line is gone, but not the notes on it.
        if (!itsComments.empty())
            detachComments(entry);
    }
}

void oxProperties::detachComments(size_t inEntry) {
    for (size_t comment = firstCommentFrom(inEntry);
         comment < itsComments.size() && itsComments[comment].itsEntry == inEntry; ++comment)
        itsComments[comment].itsPlace = oxCommentPlace::ownLine;
}

size_t oxProperties::firstCommentFrom(size_t inEntry) const {
    const auto found = std::lower_bound(
        itsComments.begin(), itsComments.end(), inEntry,
        [](const oxComment& inComment, size_t inNumber) { return inComment.itsEntry < inNumber; });
    return static_cast<size_t>(found - itsComments.begin());
}

bool oxProperties::getEntry(size_t inIndex, std::string& outKey, std::string& outValue) const {
    if (inIndex >= itsLiveCount)
        return false;
    if (itsRemovedCount > 0)
        compact();
    const oxEntry& entry = itsEntries[inIndex];
    outKey.assign(itsArena, entry.itsKey, entry.itsKeyLength);
    outValue.assign(itsArena, entry.itsValue, entry.itsValueLength);
    return true;
}

bool oxProperties::get(const std::string& inKey, std::string& outValue) const {
    const size_t slot = findSlot(inKey.data(), inKey.size(), hashKey(inKey.data(), inKey.size()));
    if (slot == kNoSlot)
        return false;
    const oxEntry& entry = itsEntries[itsSlots[slot].itsEntry - 1];
    outValue.assign(itsArena, entry.itsValue, entry.itsValueLength);
    return true;
}

void oxProperties::appendTo(std::string& ioText, bool inLineEnds) const {
    // Room for every entry without escapes and every comment with its
    // separator; escapes grow it further.
    const size_t kFixedBytesPerEntry = 16;
    const size_t kFixedBytesPerComment = 2;
    const size_t liveBytes = itsArena.size() > itsDeadBytes ? itsArena.size() - itsDeadBytes : 0;
    ioText.reserve(ioText.size() + liveBytes + itsLiveCount * kFixedBytesPerEntry +
                   itsComments.size() * kFixedBytesPerComment);
    size_t cursor = 0;
    appendSome(ioText, inLineEnds, cursor, static_cast<size_t>(-1));
}

bool oxProperties::appendSome(std::string& ioText, bool inLineEnds, size_t& ioCursor,
                              size_t inMostBytes) const {
    size_t comment = firstCommentFrom(ioCursor);
    for (; ioCursor < itsEntries.size() && ioText.size() < inMostBytes; ++ioCursor) {
        const oxEntry& entry = itsEntries[ioCursor];
        if (comment < itsComments.size() && itsComments[comment].itsEntry == ioCursor)
            comment = appendLineWithComments(ioText, ioCursor, comment, inLineEnds);
        else if (entry.itsLive)
            appendEntry(ioText, entry, inLineEnds);
    }
    if (ioCursor < itsEntries.size())
        return true;
    for (; comment < itsComments.size(); ++comment)
        appendOwnLineComment(ioText, itsComments[comment], inLineEnds);
    // Past every comment too, so that a further call appends nothing.
    ioCursor = itsEntries.size() + 1;
    return false;
}

size_t oxProperties::appendLineWithComments(std::string& ioText, size_t inEntry, size_t inComment,
                                            bool inLineEnds) const {
    const oxEntry& entry = itsEntries[inEntry];
    size_t comment = inComment;
    const auto standsHere = [&](oxCommentPlace inPlace) {
        return comment < itsComments.size() && itsComments[comment].itsEntry == inEntry &&
               itsComments[comment].itsPlace == inPlace;
    };
    for (; standsHere(oxCommentPlace::ownLine); ++comment)
        appendOwnLineComment(ioText, itsComments[comment], inLineEnds);
    if (!entry.itsLive) {
        // A removed entry's line took its comments with it.
        while (comment < itsComments.size() && itsComments[comment].itsEntry == inEntry)
            ++comment;
        return comment;
    }
    for (; standsHere(oxCommentPlace::beforeEntry); ++comment) {
        ioText.append(itsArena, itsComments[comment].itsText, itsComments[comment].itsLength);
        ioText += ' ';
    }
    if (!standsHere(oxCommentPlace::afterEntry)) {
        appendEntry(ioText, entry, inLineEnds);
        return comment;
    }
    appendEntry(ioText, entry, false);
    for (; standsHere(oxCommentPlace::afterEntry); ++comment) {
        ioText += ' ';
        ioText.append(itsArena, itsComments[comment].itsText, itsComments[comment].itsLength);
    }
    if (inLineEnds)
        ioText.append("\r\n", 2);
    return comment;
}

void oxProperties::appendOwnLineComment(std::string& ioText, const oxComment& inComment,
                                        bool inLineEnds) const {
    ioText.append(itsArena, inComment.itsText, inComment.itsLength);
    if (inLineEnds)
        ioText.append("\r\n", 2);
}

void oxProperties::appendEntry(std::string& ioText, const oxEntry& inEntry, bool inLineEnds) const {
    const char* const key = itsArena.data() + inEntry.itsKey;
    const char* const value = itsArena.data() + inEntry.itsValue;
    // Zero is no plain byte, so a value that is plain to its end holds none.
    size_t plain = 0;
    while (plain < inEntry.itsValueLength && isPlainValueByte(value[plain]))
        ++plain;
    if (plain == inEntry.itsValueLength) {
        // The usual case, laid out at once rather than in six appends.
        const size_t kOpeningLength = sizeof(kAttributeOpening) - 1;
        const size_t kClosingLength = sizeof(kClosing) - 1;
        const size_t start = ioText.size();
        ioText.resize(start + 1 + inEntry.itsKeyLength + kOpeningLength + plain + kClosingLength +
                      (inLineEnds ? 2 : 0));
        char* out = &ioText[start];
        *out++ = '<';
        out = static_cast<char*>(std::memcpy(out, key, inEntry.itsKeyLength)) + inEntry.itsKeyLength;
        out = static_cast<char*>(std::memcpy(out, kAttributeOpening, kOpeningLength)) + kOpeningLength;
        out = static_cast<char*>(std::memcpy(out, value, plain)) + plain;
        out = static_cast<char*>(std::memcpy(out, kClosing, kClosingLength)) + kClosingLength;
        // Written as bytes: the file is opened in binary mode everywhere.
        if (inLineEnds)
            std::memcpy(out, "\r\n", 2);
        return;
    }
    // Only the part before the first zero byte is written.
    const void* zero = std::memchr(value, '\0', inEntry.itsValueLength);
    const size_t valueLength = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - value)
                                               : inEntry.itsValueLength;
    ioText += '<';
    ioText.append(key, inEntry.itsKeyLength);
    ioText.append(kAttributeOpening, sizeof(kAttributeOpening) - 1);
    appendEncoded(ioText, std::string(value, valueLength));
    ioText.append(kClosing, sizeof(kClosing) - 1);
    if (inLineEnds)
        ioText.append("\r\n", 2);
}

bool oxProperties::writeTo(std::ostream& ioStream, bool inLineEnds) const {
    if (itsLiveCount > 0 || !itsComments.empty()) {
        std::string text;
        appendTo(text, inLineEnds);
        ioStream.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (inLineEnds)
            ioStream.flush();
    }
    return ioStream.rdstate() == std::ios_base::goodbit;
}

bool oxProperties::readFrom(std::istream& ioStream) {
    itsModified = false;
    if (!ioStream.good())
        return true;
    const std::istream::pos_type start = ioStream.tellg();
    const std::string text((std::istreambuf_iterator<char>(ioStream)), std::istreambuf_iterator<char>());
    size_t stop = 0;
    const bool read = readFromText(text.data(), text.size(), stop);
    ioStream.clear();
    // Leave the stream where the entries ended, as a reader taking byte
    // by byte would, when it can go back there.
    if (!read || stop == text.size() || start == std::istream::pos_type(-1) ||
        !ioStream.seekg(start + static_cast<std::streamoff>(stop)))
        ioStream.setstate(std::ios_base::eofbit);
    return read;
}

bool oxProperties::readFromText(const char* inText, size_t inLength, size_t& outStop) {
    return readFromBuffer(std::string(inText, inLength), 0, outStop);
}

bool oxProperties::readFromBuffer(std::string&& ioText, size_t inStart, size_t& outStop) {
    itsModified = false;
    const size_t firstRead = itsEntries.size();
    const size_t firstComment = itsComments.size();
    // An empty table takes the text over as its arena: keys and values are
    // then read where they stand, without a copy.
    size_t base = itsArena.size();
    if (itsEntries.empty()) {
        itsArena = std::move(ioText);
        base = 0;
    } else {
        itsArena.append(ioText);
    }
    const size_t textLength = itsArena.size() - base;
    const bool read = parseText(base, inStart, outStop);
    // What the entries do not use (markup, blanks, text after them) counts
    // as dead for the arena's compaction.
    size_t used = 0;
    for (size_t entry = firstRead; entry < itsEntries.size(); ++entry)
        used += itsEntries[entry].itsKeyLength + itsEntries[entry].itsValueLength;
    for (size_t comment = firstComment; comment < itsComments.size(); ++comment)
        used += itsComments[comment].itsLength;
    itsDeadBytes += textLength > used ? textLength - used : 0;
    // Entries read before a fault stay in the table too.
    indexReadEntries(firstRead);
    return read;
}

// Appends what it reads from the arena at inBase + inStart to the order
// without looking keys up; the index takes them in afterwards, all in one
// pass. Values that need resolving are resolved where they stand, the
// result being never longer than the file's form. Comments stay where they
// stand too; the blanks around one are looked at only to find its line.
bool oxProperties::parseText(size_t inBase, size_t inStart, size_t& outStop) {
    const char* const text = itsArena.data() + inBase;
    const size_t length = itsArena.size() - inBase;
    // Every entry and comment starts with "<": upper bounds that cost one
    // fast scan.
    size_t openings = 0;
    size_t commentOpenings = 0;
    for (const char* at = text + inStart; at != text + length; ++at) {
        at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(text + length - at)));
        if (at == nullptr)
            break;
        ++openings;
        if (at + 1 != text + length && at[1] == '!')
            ++commentOpenings;
    }
    itsEntries.reserve(itsEntries.size() + openings - commentOpenings);
    if (commentOpenings > 0)
        itsComments.reserve(itsComments.size() + commentOpenings);
    const auto lineEndBetween = [](const char* inFrom, const char* inTo) {
        return std::memchr(inFrom, '\n', static_cast<size_t>(inTo - inFrom)) != nullptr;
    };
    oxTextReader reader(text + inStart, length - inStart);
    // The entry whose line the reader is on, where the last item ended,
    // and the first comment since then that may stand before the next
    // entry on its line.
    size_t lineEntry = kNoEntry;
    const char* lastEnd = reader.position();
    size_t firstLeading = itsComments.size();
    bool read = true;
    for (;;) {
        reader.skipWhitespace();
        outStop = static_cast<size_t>(reader.position() - text) - inStart;
        if (reader.atEnd() || reader.peek() != '<')
            break;
        const char* const start = reader.position();
        if (reader.peek(1) == '!') {
            if (!reader.skipComment()) {
                read = false;
                break;
            }
            if (lineEndBetween(lastEnd, start)) {
                lineEntry = kNoEntry;
                firstLeading = itsComments.size();
            }
            oxComment comment{inBase + static_cast<size_t>(start - text),
                              static_cast<size_t>(reader.position() - start), itsEntries.size(),
                              oxCommentPlace::ownLine};
            if (lineEntry != kNoEntry) {
                comment.itsEntry = lineEntry;
                comment.itsPlace = oxCommentPlace::afterEntry;
                firstLeading = itsComments.size() + 1;
            }
            itsComments.push_back(comment);
            lastEnd = reader.position();
            continue;
        }
        // A declaration, a closing tag or plain text: the entries end here.
        if (!reader.isNameAt(1))
            break;
        reader.expect('<');
        const char* key = nullptr;
        size_t keyLength = 0;
        const char* raw = nullptr;
        size_t rawLength = 0;
        read = reader.readKey(key, keyLength);
        reader.skipWhitespace();
        read = read && reader.expect("value", 5);
        reader.skipWhitespace();
        read = read && reader.expect('=');
        reader.skipWhitespace();
        read = read && reader.readQuotedValue(raw, rawLength);
        reader.skipWhitespace();
        read = read && reader.expect("/>", 2);
        if (!read)
            break;
        oxEntry entry{inBase + static_cast<size_t>(key - text),
                      keyLength,
                      inBase + static_cast<size_t>(raw - text),
                      rawLength,
                      hashKeyBytes(key, keyLength),
                      true};
        if (std::memchr(raw, '&', rawLength) != nullptr || std::memchr(raw, '\r', rawLength) != nullptr) {
            char* const value = &itsArena[entry.itsValue];
            entry.itsValueLength = decodeInto(value, rawLength, value, true);
        }
        // The comments since the last line end stand on this entry's line.
        if (firstLeading < itsComments.size() && !lineEndBetween(lastEnd, start)) {
            for (size_t comment = firstLeading; comment < itsComments.size(); ++comment)
                itsComments[comment].itsPlace = oxCommentPlace::beforeEntry;
        }
        lineEntry = itsEntries.size();
        itsEntries.push_back(entry);
        firstLeading = itsComments.size();
        lastEnd = reader.position();
    }
    return read;
}

std::string oxProperties::encodeValue(const std::string& inValue) {
    std::string encoded;
    encoded.reserve(inValue.size());
    appendEncoded(encoded, inValue);
    return encoded;
}

std::string oxProperties::decodeValue(const std::string& inValue) {
    std::string decoded(inValue);
    if (!decoded.empty())
        decoded.resize(decodeInto(inValue.data(), inValue.size(), &decoded[0], false));
    return decoded;
}

bool oxProperties::isNameCharacter(char inChar) {
    return theByteClasses.has(inChar, kNameCharacter);
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
