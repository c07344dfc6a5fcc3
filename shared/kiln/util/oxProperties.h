// The property table behind the preferences store: named byte-string
// values in insertion order, plus the writer and reader of the file form,
// one '<Key value="..." />' line per entry.
//
// Keys are one key when they match after folding the ASCII letters a to z
// (compared up to the first zero byte); the first spelling and its place
// are kept. The table has no lock: the store that owns it serialises every
// call, const ones included (getEntry moves a cached position).
#ifndef OX_PROPERTIES_H
#define OX_PROPERTIES_H

#include <cstddef>
#include <istream>
#include <list>
#include <map>
#include <ostream>
#include <string>
#include <utility>

class oxProperties {
public:
    oxProperties();
    virtual ~oxProperties();

    // Entries refer to each other by iterator; a copy would have to rebuild
    // them, and nothing needs one.
    oxProperties(const oxProperties&) = delete;
    oxProperties& operator=(const oxProperties&) = delete;

    // Adds the pair at the end of the order, or replaces the value of the
    // existing key in place (keeping its spelling). A value equal byte for
    // byte up to its first zero byte changes nothing, not even the modified
    // flag. Keys should be name characters only (isValidKey): others are
    // stored, but give a file that cannot be read back. O(log n).
    void set(const std::string& inKey, const std::string& inValue);

    // Nothing happens when the key is absent. O(log n).
    void remove(const std::string& inKey);

    // Removes every entry and marks the table modified, even when empty.
    void clear();

    // The entry at inIndex (0-based) of the insertion order; false with the
    // outputs untouched when inIndex is not below size(). Walks from the
    // nearest of the front, the back and the last position asked for, so a
    // sequential walk costs O(1) a step; a random index costs O(n).
    bool getEntry(size_t inIndex, std::string& outKey, std::string& outValue) const;

    // The value of inKey; false with outValue untouched when absent. O(log n).
    bool get(const std::string& inKey, std::string& outValue) const;

    // Set by every change; cleared only when readFrom begins.
    bool isModified() const { return itsModified; }

    size_t size() const { return itsEntries.size(); }

    // Writes every entry in insertion order, each followed by CR LF and a
    // flush when inLineEnds is set. The key is written as stored, the value
    // through encodeValue. True when the stream is free of every error and
    // end state afterwards; an empty table writes nothing and reports the
    // stream's state.
    bool writeTo(std::ostream& ioStream, bool inLineEnds) const;

    // Marks the table unmodified, then stores each entry of the stream
    // through set. Expects a stream opened in binary mode: CR LF inside a
    // value arrives as LF, as text-mode reading would give it. True when the
    // read ended normally: at the end, at a byte other than "<", or at a "<"
    // not followed by a name character (the rest is ignored). False for a
    // malformed entry or comment; the entries before it stay in the table.
    // The caller empties the table first.
    bool readFrom(std::istream& ioStream);

    // The escaped form of inValue up to its first zero byte. An "&" starts
    // an unescaped run only when a complete "&#x<hex digits>;" follows;
    // any other "&" becomes "&amp;", so no value can make the file
    // unreadable.
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
    // Orders keys by compareStrings without case: the order is internal,
    // only its notion of equality shows.
    struct oxKeyLess {
        bool operator()(const std::string& inA, const std::string& inB) const;
    };

    struct oxEntryValue;
    // A map node: the key as first spelt, and the value with its place.
    using oxEntryNode = std::pair<const std::string, oxEntryValue>;
    using oxOrder = std::list<oxEntryNode*>;

    struct oxEntryValue {
        std::string itsValue;
        oxOrder::iterator itsPlace;
    };

    using oxEntries = std::map<std::string, oxEntryValue, oxKeyLess>;

    // Forgets the cached position of getEntry; called whenever an entry
    // leaves the order.
    void resetCursor() const;

    oxEntries itsEntries;
    // Insertion order; map nodes never move, so the pointers stay valid
    // until their entry is erased.
    oxOrder itsOrder;
    bool itsModified;

    // The last position that getEntry reached, for sequential walks.
    mutable oxOrder::const_iterator itsCursor;
    mutable size_t itsCursorIndex;
};

#endif
