#include "oxProperties.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "oxRawAssert.h"
#include "oxStringUtil.h"

namespace {

const size_t kNoSlot = static_cast<size_t>(-1);
const uint32_t kFreeSlot = 0;
const uint32_t kRemovedSlot = UINT32_MAX;
const size_t kSmallestIndex = 16;
// Compacting costs a pass over the order: wait until it pays.
const size_t kFewestRemovedToCompact = 1024;

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

}  // namespace

oxProperties::oxProperties()
    : itsUsedSlots(0), itsLiveCount(0), itsRemovedCount(0), itsDeadBytes(0), itsModified(false) {}

oxProperties::~oxProperties() {}

size_t oxProperties::appendText(const char* inText, size_t inLength) {
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

void oxProperties::indexEntry(size_t inEntry) {
    const size_t mask = itsSlots.size() - 1;
    const uint32_t hash = itsEntries[inEntry].itsHash;
    size_t slot = hash & mask;
    while (itsSlots[slot].itsEntry != kFreeSlot)
        slot = (slot + 1) & mask;
    itsSlots[slot] = oxSlot{static_cast<uint32_t>(inEntry + 1), hash};
    ++itsUsedSlots;
}

void oxProperties::rebuildIndex(size_t inCount) {
    rebuildIndex(inCount, itsEntries.size());
}

void oxProperties::rebuildIndex(size_t inCount, size_t inIndexed) {
    itsSlots.assign(indexSizeFor(inCount), oxSlot{kFreeSlot, 0});
    itsUsedSlots = 0;
    for (size_t entry = 0; entry < inIndexed; ++entry) {
        if (itsEntries[entry].itsLive)
            indexEntry(entry);
    }
}

void oxProperties::compact() {
    if (itsRemovedCount == 0)
        return;
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

void oxProperties::compactArenaIfWasteful() {
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

char* oxProperties::beginRead(std::string&& ioText, size_t inMostEntries, size_t inMostComments) {
    itsModified = false;
    itsEntries.reserve(itsEntries.size() + inMostEntries);
    if (inMostComments > 0)
        itsComments.reserve(itsComments.size() + inMostComments);
    // An empty table takes the text over as its arena: keys and values are
    // then read where they stand, without a copy. Comments stand in the
    // arena too, so a table holding only comments appends.
    size_t base = itsArena.size();
    if (itsEntries.empty() && itsComments.empty()) {
        // The old arena goes, and what was dead in it with it.
        itsArena = std::move(ioText);
        itsDeadBytes = 0;
        base = 0;
    } else {
        itsArena.append(ioText);
    }
    // Dead until an entry or comment uses it: markup, blanks, text after
    // the entries count for the arena's compaction.
    itsDeadBytes += itsArena.size() - base;
    return &itsArena[0] + base;
}

size_t oxProperties::arenaOffset(const char* inByte) const {
    oxAssert(inByte >= itsArena.data() && inByte <= itsArena.data() + itsArena.size());
    return static_cast<size_t>(inByte - itsArena.data());
}

void oxProperties::addReadEntry(const char* inKey, size_t inKeyLength, const char* inValue,
                                size_t inValueLength) {
    itsEntries.push_back(oxEntry{arenaOffset(inKey), inKeyLength, arenaOffset(inValue), inValueLength,
                                 hashKeyBytes(inKey, inKeyLength), true});
    itsDeadBytes -= inKeyLength + inValueLength;
}

void oxProperties::addReadComment(const char* inText, size_t inLength, oxCommentPlace inPlace) {
    // One after its entry belongs to the last entry read; any other to the
    // next one.
    const size_t entry = inPlace == oxCommentPlace::afterEntry ? itsEntries.size() - 1 : itsEntries.size();
    itsComments.push_back(oxComment{arenaOffset(inText), inLength, entry, inPlace});
    itsDeadBytes -= inLength;
}

// Takes the entries from inFirst on into the index as set would, in
// order: a key already there keeps its place and spelling and takes the
// value, and the later entry goes. The slot of an entry a few ahead is
// fetched early, since on a large table nearly every first look misses
// the cache.
void oxProperties::endRead(size_t inFirst) {
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
    size_t slot = inIndex;
    if (itsRemovedCount > 0) {
        // Removed entries still stand in the order: count the live ones.
        size_t live = 0;
        for (slot = 0; !itsEntries[slot].itsLive || live++ < inIndex; ++slot) {
        }
    }
    const oxEntry& entry = itsEntries[slot];
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

size_t oxProperties::liveTextBytes() const {
    return itsArena.size() > itsDeadBytes ? itsArena.size() - itsDeadBytes : 0;
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
