// The property table behind the preferences store: named byte-string
// values in insertion order, plus the writer and reader of the file form,
// one '<Key value="..." />' line per entry.
//
// The comments of a file read ('<!-- ... -->') are kept among the entries
// and written back where they stood, so that a note an administrator or a
// fleet tool left survives the next write. A comment on an entry's own line
// (nothing but blanks other than a line feed between them) belongs to that
// entry: it is written on the entry's line again, one space apart, and goes
// when the key is removed. Every other comment stands on a line of its own
// and stays where it is, whatever happens to the entries around it. Comments
// are not entries: size, getEntry and get see keys only.
//
// Keys are one key when they match after folding the ASCII letters a to z
// (compared up to the first zero byte); the first spelling and its place
// are kept. Not safe for concurrent use: the store that owns it serialises
// every call, const ones included (they may compact removed entries).
#ifndef OX_PROPERTIES_H
#define OX_PROPERTIES_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

class oxProperties {
public:
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
    // marked, and the order is compacted later.
    void remove(const std::string& inKey);

    // Removes every entry and comment and marks the table modified, even
    // when empty.
    void clear();

    // The entry at inIndex (0-based) of the insertion order; false with the
    // outputs untouched when inIndex is not below size(). O(1), after a
    // compaction of removed entries where there are any.
    bool getEntry(size_t inIndex, std::string& outKey, std::string& outValue) const;

    // The value of inKey; false with outValue untouched when absent.
    bool get(const std::string& inKey, std::string& outValue) const;

    // Set by every change of the entries (comments do not count); cleared
    // only when a read begins.
    bool isModified() const { return itsModified; }

    size_t size() const { return itsLiveCount; }

    // Writes every entry in insertion order, each followed by CR LF when
    // inLineEnds is set, and flushes. The key is written as stored, the
    // value through encodeValue. A comment is written as it was read, byte
    // for byte: one of an entry's line before or after the entry, as it
    // stood, one space apart; any other on a line of its own (followed by
    // CR LF when inLineEnds is set) in its place among the entries. Keys
    // added after the read follow the last of them. With inLineEnds set, text written
    // here reads back into a table that writes the same bytes again. True
    // when the stream is free of every error and end state afterwards; a
    // table without entries and comments writes nothing and reports the
    // stream's state.
    bool writeTo(std::ostream& ioStream, bool inLineEnds) const;
    // The same text, appended to ioText.
    void appendTo(std::string& ioText, bool inLineEnds) const;
    // The same piece by piece: appends entries, with their comments and
    // those standing before them, from the ioCursor-th slot of the order
    // (start at 0) until ioText holds at least inMostBytes or the entries
    // end, and then the comments after the last entry; true while entries
    // remain. No set, remove or getEntry may come between the pieces.
    bool appendSome(std::string& ioText, bool inLineEnds, size_t& ioCursor, size_t inMostBytes) const;

    // Marks the table unmodified, then stores each entry of the stream
    // through set, and keeps each comment (see above). Expects a stream
    // opened in binary mode: CR LF inside a value arrives as LF, as
    // text-mode reading would give it; a comment keeps its bytes. A key read
    // twice keeps its first place and takes the later value; the comments
    // of the later line then stand on their own. True when the read ended
    // normally: at the end, at a byte other than "<", or at a "<" not
    // followed by a name character (the rest is ignored, and the stream is
    // left there when it can seek). False for a malformed entry or comment;
    // the entries and comments before it stay in the table. The caller
    // empties the table first.
    bool readFrom(std::istream& ioStream);
    // The same on text in memory, parsed in place. outStop: where a
    // successful read stopped (inLength when at the end; anything before
    // it is text the table does not hold).
    bool readFromText(const char* inText, size_t inLength, size_t& outStop);
    // The same on ioText from inStart on, which an empty table takes over
    // instead of copying (ioText is then left empty). outStop counts from
    // inStart.
    bool readFromBuffer(std::string&& ioText, size_t inStart, size_t& outStop);

    // The escaped form of inValue up to its first zero byte. Every "&"
    // becomes "&amp;", one that starts a reference too, so that decodeValue
    // gives back exactly the value (up to that zero byte) and no value can
    // make the file unreadable.
    static std::string encodeValue(const std::string& inValue);

    // Resolves the five named references and numeric references (hex or
    // decimal, low eight bits; a zero byte yields nothing). A malformed
    // reference, such as "&#12a;" or "&#x;", stays as it stands.
    static std::string decodeValue(const std::string& inValue);

    // A to Z, a to z, 0 to 9, "_", ":", "." and "-".
    static bool isNameCharacter(char inChar);

    // Non-empty and nothing but name characters.
    static bool isValidKey(const std::string& inKey);

private:
    // An entry in file order: where its key and value stand in the arena.
    // A removed one stays, marked, until the order is compacted.
    struct oxEntry {
        size_t itsKey;
        size_t itsKeyLength;
        size_t itsValue;
        size_t itsValueLength;
        uint32_t itsHash;
        bool itsLive;
    };
    // Open addressing, linear probing, a power of two in size. A slot holds
    // the entry number plus one (0 for a free slot, kRemovedSlot for a
    // removed one) and the key's hash, so a probe touches no entry unless
    // the hashes match.
    struct oxSlot {
        uint32_t itsEntry;
        uint32_t itsHash;
    };
    // Where a comment stands relative to the entry number itsEntry: on a
    // line of its own before it (or, past the last entry, at the end), or
    // on its line, before or after it. In the order of a line.
    enum class oxCommentPlace : uint8_t { ownLine, beforeEntry, afterEntry };
    // A comment as read, '<!--' to '-->', where it stands in the arena.
    struct oxComment {
        size_t itsText;
        size_t itsLength;
        size_t itsEntry;
        oxCommentPlace itsPlace;
    };

    // Copies text to the end of the arena; returns where it stands.
    size_t appendText(const char* inText, size_t inLength) const;
    // The slot that holds the key's entry, or kNoSlot.
    size_t findSlot(const char* inKey, size_t inLength, uint32_t inHash) const;
    void indexEntry(size_t inEntry) const;
    // Rebuilds the index for at least inCount entries, dropping marks.
    void rebuildIndex(size_t inCount) const;
    // The same, taking in only the entries before inIndexed.
    void rebuildIndex(size_t inCount, size_t inIndexed) const;
    // Drops removed entries from the order, and the comments of their
    // lines; entry numbers change, and the comments follow.
    void compact() const;
    // Copies the live text to a new arena once most of it is dead.
    void compactArenaIfWasteful() const;
    bool parseText(size_t inBase, size_t inStart, size_t& outStop);
    void indexReadEntries(size_t inFirst);
    // The comments of the entry inEntry's line then stand on their own.
    void detachComments(size_t inEntry);
    // The first comment standing at the entry inEntry or later.
    size_t firstCommentFrom(size_t inEntry) const;
    // One entry's line in the file form.
    void appendEntry(std::string& ioText, const oxEntry& inEntry, bool inLineEnds) const;
    // What stands at the entry inEntry, from its first comment inComment
    // on: comments on their own lines, then the entry's line with its
    // comments when the entry is live. Returns the next comment.
    size_t appendLineWithComments(std::string& ioText, size_t inEntry, size_t inComment,
                                  bool inLineEnds) const;
    void appendOwnLineComment(std::string& ioText, const oxComment& inComment, bool inLineEnds) const;

    // Compacted lazily, also from const operations: the table has no lock
    // of its own and the store serialises every call.
    mutable std::vector<oxEntry> itsEntries;
    mutable std::vector<oxSlot> itsSlots;
    // In file order, so sorted by itsEntry and then by place; empty for a
    // file without comments, which then costs nothing more.
    mutable std::vector<oxComment> itsComments;
    // The text of every key, value and comment; replaced and removed ones
    // stay (itsDeadBytes) until the arena is compacted.
    mutable std::string itsArena;
    mutable size_t itsUsedSlots;
    size_t itsLiveCount;
    mutable size_t itsRemovedCount;
    mutable size_t itsDeadBytes;
    bool itsModified;
};

#endif
