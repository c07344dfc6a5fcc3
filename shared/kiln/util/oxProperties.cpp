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
// Fewer removed than one entry in this many: compact renumbers the index.
const size_t kFewRemovedShare = 16;

// Eight bytes at once with the bit that tells a lower-case ASCII letter
// from its capital cleared in each: keys that match after folding a to z
// give the same word. Other bytes may meet too ('@' and '`'), which only
// costs a comparison in the index.
uint64_t foldedWord(uint64_t inWord) {
    return inWord & ~0x2020202020202020ULL;
}

// The word's bytes but the first inCount in memory order, as if those
// had been loaded as zeros from its far end.
uint64_t shiftOutTakenBytes(uint64_t inWord, size_t inCount) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return inWord << (8 * inCount);
#else
    return inWord >> (8 * inCount);
#endif
}

// A hash of the folded bytes of a key that holds no zero byte, eight at
// a time: a key is hashed for every entry of a read. Each word is
// multiplied on its own and only a rotation links them, so the multiplies
// of a key overlap instead of waiting for each other; a last mix spreads
// every bit over the low ones that pick the slot.
uint32_t hashKeyBytes(const char* inKey, size_t inLength) {
    const size_t length = inLength;
    const uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    const auto mixIn = [](uint64_t inHash, uint64_t inWord) {
        return ((inHash << 23) | (inHash >> 41)) ^ (inWord * 0xC2B2AE3D27D4EB4FULL);
    };
    uint64_t hash = length * kMultiplier;
    size_t pos = 0;
    for (; pos + 8 <= length; pos += 8) {
        uint64_t word = 0;
        std::memcpy(&word, inKey + pos, 8);
        hash = mixIn(hash, foldedWord(word));
    }
    if (pos < length) {
        uint64_t word = 0;
        if (length >= 8) {
            // The last eight bytes, less those already taken: one load
            // of a fixed size rather than a copy of a varying one.
            std::memcpy(&word, inKey + length - 8, 8);
            word = shiftOutTakenBytes(word, 8 - (length - pos));
        } else {
            std::memcpy(&word, inKey + pos, length - pos);
        }
        hash = mixIn(hash, foldedWord(word));
    }
    hash = (hash ^ (hash >> 32)) * kMultiplier;
    return static_cast<uint32_t>(hash ^ (hash >> 29));
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

// The length up to the first zero byte.
size_t lengthBeforeZero(const char* inText, size_t inLength) {
    const void* zero = std::memchr(inText, '\0', inLength);
    return zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - inText) : inLength;
}

// Value identity: equal byte for byte up to the first zero byte.
bool sameValue(const char* inA, size_t inLengthA, const char* inB, size_t inLengthB) {
    const size_t lengthA = lengthBeforeZero(inA, inLengthA);
    return lengthA == lengthBeforeZero(inB, inLengthB) && std::memcmp(inA, inB, lengthA) == 0;
}

// At most three quarters full: linear probing stays short, and the index
// of a large table costs at most 21 bytes an entry.
bool isIndexTooFull(size_t inUsed, size_t inSize) {
    return inUsed * 4 > inSize * 3;
}

size_t indexSizeFor(size_t inCount) {
    size_t size = kSmallestIndex;
    while (isIndexTooFull(inCount, size))
        size *= 2;
    return size;
}

}  // namespace

oxProperties::oxProperties()
    : itsReadHashes(),
      itsReadIndexed(0),
      itsResolvedStart(0),
      itsUsedSlots(0),
      itsLiveCount(0),
      itsRemovedCount(0),
      itsDeadBytes(0),
      itsModified(false) {}

oxProperties::~oxProperties() {}

uint64_t oxProperties::appendText(const char* inText, size_t inLength) {
    const uint64_t offset = itsAddedText.size();
    itsAddedText.append(inText, inLength);
    return offset | kAddedTextBit;
}

uint32_t oxProperties::hashOf(const char* inKey, size_t inLength) {
    return hashKey(inKey, inLength);
}

void oxProperties::set(const std::string& inKey, const std::string& inValue) {
    oxAssertText(isValidKey(inKey), inKey.c_str());
    // Lengths the entry cannot hold would be cut short: nothing is stored.
    if (inKey.size() > kMostKeyLength || inValue.size() > kMostValueLength)
        return;
    const uint32_t hash = hashKey(inKey.data(), inKey.size());
    const size_t slot = findSlot(inKey.data(), inKey.size(), hash);
    if (slot != kNoSlot) {
        oxEntry& entry = itsEntries[itsSlots[slot].itsEntry - 1];
        if (sameValue(textAt(entry.itsValue), entry.valueLength(), inValue.data(), inValue.size()))
            return;
        itsDeadBytes += entry.valueLength();
        entry.setValue(appendText(inValue.data(), inValue.size()), inValue.size());
        itsModified = true;
        compactArenaIfWasteful();
        return;
    }
    const uint64_t key = appendText(inKey.data(), inKey.size());
    const uint64_t value = appendText(inValue.data(), inValue.size());
    itsEntries.emplace_back(key, value, inKey.size(), inValue.size(), false);
    ++itsLiveCount;
    itsModified = true;
    if (isIndexTooFull(itsUsedSlots + 1, itsSlots.size()))
        rebuildIndex(itsLiveCount);
    else
        indexEntry(itsEntries.size() - 1, hash);
}

void oxProperties::remove(const std::string& inKey) {
    const size_t slot = findSlot(inKey.data(), inKey.size(), hashKey(inKey.data(), inKey.size()));
    if (slot == kNoSlot)
        return;
    oxEntry& entry = itsEntries[itsSlots[slot].itsEntry - 1];
    entry.markRemoved();
    itsDeadBytes += entry.keyLength() + entry.valueLength();
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
    itsAddedText.clear();
    itsUsedSlots = 0;
    itsLiveCount = 0;
    itsRemovedCount = 0;
    itsDeadBytes = 0;
    itsModified = true;
}

size_t oxProperties::findSlot(const char* inKey, size_t inLength, uint32_t inHash, size_t* outFree) const {
    if (itsSlots.empty())
        return kNoSlot;
    const size_t mask = itsSlots.size() - 1;
    for (size_t slot = inHash & mask;; slot = (slot + 1) & mask) {
        const oxSlot& taken = itsSlots[slot];
        if (taken.itsEntry == kFreeSlot) {
            if (outFree != nullptr)
                *outFree = slot;
            return kNoSlot;
        }
        if (taken.itsHash != inHash || taken.itsEntry == kRemovedSlot)
            continue;
        const oxEntry& entry = itsEntries[taken.itsEntry - 1];
        if (sameKey(textAt(entry.itsKey), entry.keyLength(), inKey, inLength))
            return slot;
    }
}

void oxProperties::indexEntry(size_t inEntry, uint32_t inHash) {
    const size_t mask = itsSlots.size() - 1;
    size_t slot = inHash & mask;
    while (itsSlots[slot].itsEntry != kFreeSlot)
        slot = (slot + 1) & mask;
    itsSlots[slot] = oxSlot{static_cast<uint32_t>(inEntry + 1), inHash};
    ++itsUsedSlots;
}

void oxProperties::rebuildIndex(size_t inCount) {
    rebuildIndex(inCount, itsEntries.size());
}

void oxProperties::rebuildIndex(size_t inCount, size_t inIndexed) {
    itsSlots.assign(indexSizeFor(inCount), oxSlot{kFreeSlot, 0});
    itsUsedSlots = 0;
    for (size_t entry = 0; entry < inIndexed; ++entry) {
        if (itsEntries[entry].isLive())
            indexEntry(entry, hashOfEntry(itsEntries[entry]));
    }
}

void oxProperties::compact() {
    if (itsRemovedCount == 0)
        return;
    size_t kept = 0;
    size_t comment = 0;
    size_t keptComments = 0;
    // A few removed from a large table: the index is renumbered where it
    // stands rather than built again from every key.
    const bool renumber = itsRemovedCount * kFewRemovedShare < itsEntries.size();
    std::vector<uint32_t> removed;
    for (size_t entry = 0; entry < itsEntries.size(); ++entry) {
        const bool live = itsEntries[entry].isLive();
        if (!live && renumber)
            removed.push_back(static_cast<uint32_t>(entry));
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
    itsEntries.erase(itsEntries.begin() + static_cast<std::ptrdiff_t>(kept), itsEntries.end());
    itsRemovedCount = 0;
    if (renumber)
        renumberIndex(removed);
    else
        rebuildIndex(kept);
    compactArenaIfWasteful();
}

void oxProperties::renumberIndex(const std::vector<uint32_t>& inRemoved) {
    // No slot names a removed entry (remove marks its slot), so each
    // entry moves down by the number removed before it.
    for (oxSlot& slot : itsSlots) {
        if (slot.itsEntry == kFreeSlot || slot.itsEntry == kRemovedSlot)
            continue;
        const uint32_t entry = slot.itsEntry - 1;
        const auto before = std::lower_bound(inRemoved.begin(), inRemoved.end(), entry) - inRemoved.begin();
        slot.itsEntry -= static_cast<uint32_t>(before);
    }
}

void oxProperties::compactArenaIfWasteful() {
    const size_t kFewestDeadBytes = 64 * 1024;
    const size_t allText = itsArena.size() + itsAddedText.size();
    if (itsDeadBytes < kFewestDeadBytes || itsDeadBytes * 2 < allText)
        return;
    std::string arena;
    arena.reserve(allText - itsDeadBytes);
    for (oxEntry& entry : itsEntries) {
        if (!entry.isLive())
            continue;
        const uint64_t key = arena.size();
        arena.append(textAt(entry.itsKey), entry.keyLength());
        entry.itsKey = key;
        const uint64_t value = arena.size();
        arena.append(textAt(entry.itsValue), entry.valueLength());
        // The markup around it stays behind: no longer verbatim.
        entry.setValue(value, entry.valueLength());
    }
    for (oxComment& comment : itsComments) {
        const size_t text = arena.size();
        arena.append(itsArena, comment.itsText, comment.itsLength);
        comment.itsText = text;
    }
    itsArena.swap(arena);
    std::string().swap(itsAddedText);
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
        // The old text goes, and what was dead in it with it.
        itsArena = std::move(ioText);
        std::string().swap(itsAddedText);
        itsDeadBytes = 0;
        base = 0;
    } else {
        itsArena.append(ioText);
    }
    // Dead until an entry or comment uses it: markup, blanks, text after
    // the entries count for the arena's compaction.
    itsDeadBytes += itsArena.size() - base;
    // Room in the index for every entry the text may hold, so that none
    // of the read's slots moves.
    itsReadIndexed = itsEntries.size();
    if (indexSizeFor(itsLiveCount + inMostEntries) > itsSlots.size())
        rebuildIndex(itsLiveCount + inMostEntries, itsReadIndexed);
    return &itsArena[0] + base;
}

// Twice for every entry of a read: inline, one comparison.
inline size_t oxProperties::arenaOffset(const char* inByte) const {
    const size_t offset = static_cast<size_t>(inByte - itsArena.data());
    oxAssert(offset <= itsArena.size());
    return offset;
}

void oxProperties::addReadEntry(const char* inKey, size_t inKeyLength, const char* inValue,
                                size_t inValueLength, bool inVerbatim) {
    itsDeadBytes -= inValueLength;
    takeReadEntry(arenaOffset(inKey), inKeyLength, arenaOffset(inValue), inValueLength, inVerbatim);
}

// The value goes after the length of its read form, which the writer
// needs to copy the line.
char* oxProperties::beginResolvedValue(size_t inMostLength) {
    itsResolvedStart = itsAddedText.size() + sizeof(uint64_t);
    const uint64_t readLength = inMostLength;
    itsAddedText.append(reinterpret_cast<const char*>(&readLength), sizeof readLength);
    itsAddedText.resize(itsResolvedStart + inMostLength);
    itsDeadBytes += sizeof readLength;
    return &itsAddedText[itsResolvedStart];
}

void oxProperties::dropResolvedValue() {
    itsAddedText.resize(itsResolvedStart - sizeof(uint64_t));
    itsDeadBytes -= sizeof(uint64_t);
}

void oxProperties::addResolvedEntry(const char* inKey, size_t inKeyLength, size_t inLength) {
    itsAddedText.resize(itsResolvedStart + inLength);
    takeReadEntry(arenaOffset(inKey), inKeyLength, itsResolvedStart | kAddedTextBit, inLength, true);
}

void oxProperties::takeReadEntry(size_t inKey, size_t inKeyLength, uint64_t inValue, size_t inValueLength,
                                 bool inVerbatim) {
    const size_t entry = itsEntries.size();
    itsEntries.emplace_back(inKey, inValue, inKeyLength, inValueLength, inVerbatim);
    itsDeadBytes -= inKeyLength;
    // A key read holds name characters only, so no zero byte.
    const uint32_t hash = hashKeyBytes(itsArena.data() + inKey, inKeyLength);
    if (entry - itsReadIndexed == kReadAhead) {
        indexReadEntry(itsReadIndexed, itsReadHashes[itsReadIndexed % kReadAhead]);
        ++itsReadIndexed;
    }
    itsReadHashes[entry % kReadAhead] = hash;
    // On a large table nearly every first look at a slot misses the cache.
    __builtin_prefetch(&itsSlots[hash & (itsSlots.size() - 1)]);
}

size_t oxProperties::resolvedLineLength(const oxEntry& inEntry) const {
    uint64_t readLength = 0;
    std::memcpy(&readLength, textAt(inEntry.itsValue) - sizeof readLength, sizeof readLength);
    return 1 + inEntry.keyLength() + kVerbatimOpening + static_cast<size_t>(readLength) + kVerbatimLineEnd;
}

void oxProperties::addReadComment(const char* inText, size_t inLength, oxCommentPlace inPlace) {
    // One after its entry belongs to the last entry read; any other to the
    // next one.
    const size_t entry = inPlace == oxCommentPlace::afterEntry ? itsEntries.size() - 1 : itsEntries.size();
    itsComments.push_back(oxComment{arenaOffset(inText), inLength, entry, inPlace});
    itsDeadBytes -= inLength;
}

void oxProperties::endRead() {
    for (; itsReadIndexed < itsEntries.size(); ++itsReadIndexed)
        indexReadEntry(itsReadIndexed, itsReadHashes[itsReadIndexed % kReadAhead]);
}

// As set would: a key already there keeps its place and spelling and
// takes the value, and the later entry goes.
void oxProperties::indexReadEntry(size_t inEntry, uint32_t inHash) {
    // Only when beginRead was told too few.
    if (isIndexTooFull(itsUsedSlots + 1, itsSlots.size()))
        rebuildIndex(itsLiveCount + itsEntries.size() - inEntry, inEntry);
    // Most keys of a read find their first slot free: no search then.
    oxSlot& home = itsSlots[inHash & (itsSlots.size() - 1)];
    if (home.itsEntry == kFreeSlot) {
        home = oxSlot{static_cast<uint32_t>(inEntry + 1), inHash};
        ++itsUsedSlots;
        ++itsLiveCount;
        itsModified = true;
        return;
    }
    oxEntry& added = itsEntries[inEntry];
    size_t free = kNoSlot;
    const size_t slot = findSlot(textAt(added.itsKey), added.keyLength(), inHash, &free);
    if (slot == kNoSlot) {
        // Where the search ended is where indexEntry would put it.
        ++itsLiveCount;
        itsModified = true;
        itsSlots[free] = oxSlot{static_cast<uint32_t>(inEntry + 1), inHash};
        ++itsUsedSlots;
        return;
    }
    oxEntry& first = itsEntries[itsSlots[slot].itsEntry - 1];
    if (!sameValue(textAt(first.itsValue), first.valueLength(), textAt(added.itsValue),
                   added.valueLength())) {
        itsDeadBytes += first.valueLength();
        first.setValue(added.itsValue, added.valueLength());
        itsModified = true;
    } else {
        itsDeadBytes += added.valueLength();
    }
    added.markRemoved();
    itsDeadBytes += added.keyLength();
    ++itsRemovedCount;
    // The line is gone, but not the notes on it.
    if (!itsComments.empty())
        detachComments(inEntry);
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
        for (slot = 0; !itsEntries[slot].isLive() || live++ < inIndex; ++slot) {
        }
    }
    const oxEntry& entry = itsEntries[slot];
    outKey.assign(textAt(entry.itsKey), entry.keyLength());
    outValue.assign(textAt(entry.itsValue), entry.valueLength());
    return true;
}

bool oxProperties::get(const std::string& inKey, std::string& outValue) const {
    const size_t slot = findSlot(inKey.data(), inKey.size(), hashKey(inKey.data(), inKey.size()));
    if (slot == kNoSlot)
        return false;
    const oxEntry& entry = itsEntries[itsSlots[slot].itsEntry - 1];
    outValue.assign(textAt(entry.itsValue), entry.valueLength());
    return true;
}

size_t oxProperties::liveTextBytes() const {
    const size_t allText = itsArena.size() + itsAddedText.size();
    return allText > itsDeadBytes ? allText - itsDeadBytes : 0;
}

bool oxProperties::isValidKey(const std::string& inKey) {
    if (inKey.empty() || inKey.size() > kMostKeyLength)
        return false;
    for (const char c : inKey) {
        if (!isNameCharacter(c))
            return false;
    }
    return true;
}
