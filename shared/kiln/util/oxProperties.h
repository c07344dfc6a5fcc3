// The property table behind the preferences store: named byte-string
// values in insertion order, and the comments of the file they were read
// from, kept among them. The file's text form is oxPropertiesText's.
//
// A comment either stands on a line of its own, before an entry or past
// the last, or on an entry's line, before or after it; one on a removed
// entry's line goes with it. Comments are not entries: size, getEntry and
// get see keys only.
//
// Keys are one key when they match after folding the ASCII letters a to z
// (compared up to the first zero byte); the first spelling and its place
// are kept. Not safe for concurrent use: the store that owns it serialises
// every call.
#ifndef OX_PROPERTIES_H
#define OX_PROPERTIES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class oxProperties {
public:
    // Where a comment stands relative to an entry of the order: on a line
    // of its own before it (or, past the last entry, at the end), or on
    // its line, before or after it. In the order of a line.
    enum class oxCommentPlace : uint8_t { ownLine, beforeEntry, afterEntry };

    // A comment as read, '<!--' to '-->', and the slot of the order
    // (see entryAt) it stands at.
    struct oxCommentView {
        std::string_view itsText;
        size_t itsEntry;
        oxCommentPlace itsPlace;
    };

    oxProperties();
    virtual ~oxProperties();

    // Nothing needs a copy, and a large table would copy slowly.
    oxProperties(const oxProperties&) = delete;
    oxProperties& operator=(const oxProperties&) = delete;

    // Adds the pair at the end of the order, or replaces the value of the
    // existing key in place (keeping its spelling). A value equal byte for
    // byte up to its first zero byte changes nothing, not even the modified
    // flag. Keys should be name characters only (isValidKey): others are
    // stored, but give a file that cannot be read back. O(1) on average.
    void set(const std::string& inKey, const std::string& inValue);

    // Nothing happens when the key is absent. O(1) on average: the entry is
    // marked, and stays in the order until compact (or until so many are
    // marked that remove compacts by itself).
    void remove(const std::string& inKey);

    // Removes every entry and comment and marks the table modified, even
    // when empty.
    void clear();

    // Drops removed entries from the order, with the comments of their
    // lines, and the text nobody uses once most of it is dead. What the
    // table holds and writes stays the same; slots of the order change.
    // O(n) when anything was removed, nothing otherwise. The store calls
    // it after a read and before a write.
    void compact();

    // The entry at inIndex (0-based) of the insertion order; false with the
    // outputs untouched when inIndex is not below size(). O(1) once
    // compact; before that it walks the order.
    bool getEntry(size_t inIndex, std::string& outKey, std::string& outValue) const;

    // The value of inKey; false with outValue untouched when absent.
    bool get(const std::string& inKey, std::string& outValue) const;

    // Set by every change of the entries (comments do not count); cleared
    // only when a read begins.
    bool isModified() const { return itsModified; }

    size_t size() const { return itsLiveCount; }

    // A to Z, a to z, 0 to 9, "_", ":", "." and "-". Inline, so that the
    // text form's byte table is built from this one rule.
    static constexpr bool isNameCharacter(char inChar) {
        return (inChar >= 'A' && inChar <= 'Z') || (inChar >= 'a' && inChar <= 'z') ||
               (inChar >= '0' && inChar <= '9') || inChar == '_' || inChar == ':' || inChar == '.' ||
               inChar == '-';
    }

    // Non-empty, nothing but name characters, and shorter than
    // kMostKeyLength.
    static bool isValidKey(const std::string& inKey);

    // The longest key and value the table holds: an entry's lengths share
    // one word, which keeps a large table's index small.
    static constexpr size_t kMostKeyLength = (size_t{1} << 22) - 1;
    static constexpr uint64_t kMostValueLength = (uint64_t{1} << 40) - 1;

    // What the text form walks when it writes. The order has
    // orderLength() slots: every entry, and, until compact, the removed
    // ones, for which entryAt gives false and leaves the outputs.
    // REQUIRES: inSlot below orderLength().
    size_t orderLength() const { return itsEntries.size(); }
    bool entryAt(size_t inSlot, std::string_view& outKey, std::string_view& outValue) const {
        const oxEntry& entry = itsEntries[inSlot];
        if (!entry.isLive())
            return false;
        outKey = std::string_view(textAt(entry.itsKey), entry.keyLength());
        outValue = std::string_view(textAt(entry.itsValue), entry.valueLength());
        return true;
    }
    // Comments in file order, so sorted by slot and then by place.
    size_t commentCount() const { return itsComments.size(); }
    oxCommentView commentAt(size_t inComment) const {
        const oxComment& comment = itsComments[inComment];
        return oxCommentView{std::string_view(itsArena.data() + comment.itsText, comment.itsLength),
                             comment.itsEntry, comment.itsPlace};
    }
    // The first comment standing at the slot inSlot or later.
    size_t firstCommentFrom(size_t inSlot) const;
    // The bytes of the live keys, values and comments.
    size_t liveTextBytes() const;

    // What the text form does when it reads, in file order. beginRead
    // marks the table unmodified, makes room for at most inMostEntries and
    // inMostComments more, and takes ioText in (an empty table takes it
    // over without a copy, leaving ioText empty); it returns the text's
    // first byte in the table, writable so that values are resolved where
    // they stand. Each entry and comment found there is then added by
    // pointers into that text, which stay valid until endRead. A comment
    // before or after an entry on its line is added just before or after
    // that entry. Each entry read is taken into the index as set would,
    // a few entries later (its slot is fetched meanwhile), and endRead
    // takes in the last ones: a key read twice keeps its first place and
    // takes the later value, and the comments of the later line then
    // stand on their own.
    char* beginRead(std::string&& ioText, size_t inMostEntries, size_t inMostComments);
    // inVerbatim: the entry's line, from the "<" before inKey to past its
    // CR LF, is the one the writer makes from it.
    void addReadEntry(const char* inKey, size_t inKeyLength, const char* inValue, size_t inValueLength,
                      bool inVerbatim);
    // For a value that had to be resolved, on a line that is the writer's
    // all the same: the resolved value goes apart from the read text, so
    // that the line stays as it was read. beginResolvedValue gives room
    // for at most inMostLength bytes, of which addResolvedEntry takes the
    // first inLength. The read form must be inMostLength long.
    char* beginResolvedValue(size_t inMostLength);
    void addResolvedEntry(const char* inKey, size_t inKeyLength, size_t inLength);
    // Gives the room back instead, for a value that is resolved where it
    // stands after all.
    void dropResolvedValue();
    // For the writer: the length of the verbatim line at inSlot, or 0 when
    // it has none (removed, changed, or not read so). inLineStart: where
    // it stands, so that adjacent lines go out as one run.
    size_t verbatimLineAt(size_t inSlot, const char*& outLineStart) const {
        const oxEntry& entry = itsEntries[inSlot];
        if (!entry.isLive() || !entry.isVerbatim())
            return 0;
        outLineStart = textAt(entry.itsKey) - 1;
        if ((entry.itsValue & kAddedTextBit) != 0)
            return resolvedLineLength(entry);
        return static_cast<size_t>(textAt(entry.itsValue) - outLineStart) + entry.valueLength() +
               kVerbatimLineEnd;
    }
    // What stands between a verbatim entry's key and value: ' value="'.
    static constexpr size_t kVerbatimOpening = 8;
    // What follows a verbatim entry's value: '" />' and CR LF.
    static constexpr size_t kVerbatimLineEnd = 6;
    void addReadComment(const char* inText, size_t inLength, oxCommentPlace inPlace);
    void endRead();

private:
    // An entry in file order: where its key and value stand (see textAt).
    // A removed one stays, marked, until the order is compacted. Three
    // words, as a large file has millions: the key's hash is kept by the
    // index alone.
    struct oxEntry {
        static constexpr int kLiveShift = 22;
        static constexpr int kVerbatimShift = 23;
        static constexpr int kValueLengthShift = 24;

        oxEntry(uint64_t inKey, uint64_t inValue, size_t inKeyLength, size_t inValueLength, bool inVerbatim)
            : itsKey(inKey),
              itsValue(inValue),
              itsLengths(uint64_t{inKeyLength} | uint64_t{1} << kLiveShift |
                         uint64_t{inVerbatim} << kVerbatimShift |
                         uint64_t{inValueLength} << kValueLengthShift) {}
        size_t keyLength() const { return static_cast<size_t>(itsLengths & kMostKeyLength); }
        size_t valueLength() const { return static_cast<size_t>(itsLengths >> kValueLengthShift); }
        bool isLive() const { return (itsLengths >> kLiveShift & 1) != 0; }
        // Read from a line, CR LF included, that the writer would write
        // byte for byte, standing in the read text from the byte before
        // the key; the value unchanged since.
        bool isVerbatim() const { return (itsLengths >> kVerbatimShift & 1) != 0; }
        void markRemoved() { itsLengths &= ~(uint64_t{1} << kLiveShift); }
        // A value anywhere else is no longer the line's.
        void setValue(uint64_t inValue, size_t inLength) {
            itsValue = inValue;
            itsLengths = (itsLengths & (kMostKeyLength | uint64_t{1} << kLiveShift)) |
                         uint64_t{inLength} << kValueLengthShift;
        }

        uint64_t itsKey;
        uint64_t itsValue;
        // The key's length, the live and verbatim marks, the value's length.
        uint64_t itsLengths;
    };
    // Open addressing, linear probing, a power of two in size. A slot holds
    // the entry number plus one (0 for a free slot, kRemovedSlot for a
    // removed one) and the key's hash, so a probe touches no entry unless
    // the hashes match.
    struct oxSlot {
        uint32_t itsEntry;
        uint32_t itsHash;
    };
    // Where a comment stands in the read text, and at which entry number.
    struct oxComment {
        size_t itsText;
        size_t itsLength;
        size_t itsEntry;
        oxCommentPlace itsPlace;
    };

    // A place of text: an offset into the read text, or, with
    // kAddedTextBit, into the text added since.
    static constexpr uint64_t kAddedTextBit = uint64_t{1} << 63;
    const char* textAt(uint64_t inPlace) const {
        return (inPlace & kAddedTextBit) != 0 ? itsAddedText.data() + (inPlace & ~kAddedTextBit)
                                              : itsArena.data() + inPlace;
    }
    // Copies text to the end of the added text; returns its place.
    uint64_t appendText(const char* inText, size_t inLength);
    // The index's hash: of the folded key, up to its first zero byte.
    static uint32_t hashOf(const char* inKey, size_t inLength);
    uint32_t hashOfEntry(const oxEntry& inEntry) const {
        return hashOf(textAt(inEntry.itsKey), inEntry.keyLength());
    }
    // The slot that holds the key's entry, or kNoSlot; then outFree, when
    // given, is the free slot where the search ended.
    size_t findSlot(const char* inKey, size_t inLength, uint32_t inHash, size_t* outFree = nullptr) const;
    void indexEntry(size_t inEntry, uint32_t inHash);
    // After compaction: the entries inRemoved (ascending, before it) are
    // gone, and every slot's entry number moves down past them.
    void renumberIndex(const std::vector<uint32_t>& inRemoved);
    // Rebuilds the index for at least inCount entries, dropping marks.
    void rebuildIndex(size_t inCount);
    // The same, taking in only the entries before inIndexed.
    void rebuildIndex(size_t inCount, size_t inIndexed);
    // Adds an entry read, and takes one read a few entries before into
    // the index (see beginRead).
    void takeReadEntry(size_t inKey, size_t inKeyLength, uint64_t inValue, size_t inValueLength,
                       bool inVerbatim);
    void indexReadEntry(size_t inEntry, uint32_t inHash);
    // The verbatim line of an entry whose value was resolved, from the
    // length of the read form kept before the value.
    size_t resolvedLineLength(const oxEntry& inEntry) const;
    // Copies the live text to a new arena once most of it is dead.
    void compactArenaIfWasteful();
    // The comments of the entry inEntry's line then stand on their own.
    void detachComments(size_t inEntry);
    // Where a byte of the arena stands, for the pointers of a read.
    size_t arenaOffset(const char* inByte) const;

    std::vector<oxEntry> itsEntries;
    std::vector<oxSlot> itsSlots;
    // In file order, so sorted by itsEntry and then by place; empty for a
    // file without comments, which then costs nothing more.
    std::vector<oxComment> itsComments;
    // The text of every key, value and comment read, taken over from the
    // read as it stands, and the keys and values set since, kept apart so
    // that a set after reading a large file never moves that file's text
    // (a moving string holds old and new at once). Replaced and removed
    // text stays (itsDeadBytes) until the two are compacted into one.
    std::string itsArena;
    std::string itsAddedText;
    // The entries read but not yet indexed, from itsReadIndexed on, and
    // their hashes (a ring), made while the key was at hand.
    static constexpr size_t kReadAhead = 8;
    uint32_t itsReadHashes[kReadAhead];
    size_t itsReadIndexed;
    // Where beginResolvedValue's room starts in itsAddedText.
    size_t itsResolvedStart;
    size_t itsUsedSlots;
    size_t itsLiveCount;
    size_t itsRemovedCount;
    size_t itsDeadBytes;
    bool itsModified;
};

#endif
