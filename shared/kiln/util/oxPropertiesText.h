// The text form of a property table, as the preferences file holds it:
// one '<Key value="..." />' line per entry, in the table's order.
//
// The comments of a file read ('<!-- ... -->') are kept in the table and
// written back where they stood, so that a note an administrator or a
// fleet tool left survives the next write. A comment on an entry's own line
// (nothing but blanks other than a line feed between them) belongs to that
// entry: it is written on the entry's line again, one space apart, and goes
// when the key is removed. Every other comment stands on a line of its own
// and stays where it is, whatever happens to the entries around it.
//
// Takes no lock: the caller serialises the table's use.
#ifndef OX_PROPERTIES_TEXT_H
#define OX_PROPERTIES_TEXT_H

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "oxProperties.h"

class oxPropertiesText {
public:
    oxPropertiesText() = delete;

    // Writes every entry in insertion order, each followed by CR LF when
    // inLineEnds is set, and flushes. The key is written as stored, the
    // value through encodeValue. A comment is written as it was read, byte
    // for byte: one of an entry's line before or after the entry, as it
    // stood, one space apart; any other on a line of its own (followed by
    // CR LF when inLineEnds is set) in its place among the entries. Keys
    // added after the read follow the last of them. With inLineEnds set,
    // text written here reads back into a table that writes the same bytes
    // again. True when the stream is free of every error and end state
    // afterwards; a table without entries and comments writes nothing and
    // reports the stream's state.
    static bool writeTo(const oxProperties& inTable, std::ostream& ioStream, bool inLineEnds);
    // The same text, appended to ioText.
    static void appendTo(const oxProperties& inTable, std::string& ioText, bool inLineEnds);
    // The same piece by piece: appends entries, with their comments and
    // those standing before them, from the ioCursor-th slot of the order
    // (start at 0) until ioText holds at least inMostBytes or the entries
    // end, and then the comments after the last entry; true while entries
    // remain. The table may not change between the pieces.
    static bool appendSome(const oxProperties& inTable, std::string& ioText, bool inLineEnds,
                           size_t& ioCursor, size_t inMostBytes);
    // The same, but a long run of lines that stand as the writer would
    // write them may be lent instead of copied: outLent then views it in
    // the table's text (valid while the table does not change), it follows
    // what was appended to ioText, and the piece ends with it.
    static bool appendSome(const oxProperties& inTable, std::string& ioText, bool inLineEnds,
                           size_t& ioCursor, size_t inMostBytes, std::string_view* outLent);

    // Marks the table unmodified, then stores each entry of the stream as
    // set would, and keeps each comment (see above). Expects a stream
    // opened in binary mode: CR LF inside a value arrives as LF, as
    // text-mode reading would give it; a comment keeps its bytes. A key read
    // twice keeps its first place and takes the later value; the comments
    // of the later line then stand on their own. True when the read ended
    // normally: at the end, at a byte other than "<", or at a "<" not
    // followed by a name character (the rest is ignored, and the stream is
    // left there when it can seek). False for a malformed entry or comment;
    // the entries and comments before it stay in the table. The caller
    // empties the table first.
    static bool readFrom(oxProperties& ioTable, std::istream& ioStream);
    // The same on text in memory. outStop: where a successful read stopped
    // (inLength when at the end; anything before it is text the table does
    // not hold).
    static bool readFromText(oxProperties& ioTable, const char* inText, size_t inLength, size_t& outStop);
    // The same on ioText from inStart on, parsed in place, which an empty
    // table takes over instead of copying (ioText is then left empty).
    // outStop counts from inStart.
    static bool readFromBuffer(oxProperties& ioTable, std::string&& ioText, size_t inStart, size_t& outStop);

    // The escaped form of inValue up to its first zero byte. Every "&"
    // becomes "&amp;", one that starts a reference too, so that decodeValue
    // gives back exactly the value (up to that zero byte) and no value can
    // make the file unreadable.
    static std::string encodeValue(const std::string& inValue);

    // Resolves the five named references and numeric references (hex or
    // decimal, low eight bits; a zero byte yields nothing). A malformed
    // reference, such as "&#12a;" or "&#x;", stays as it stands.
    static std::string decodeValue(const std::string& inValue);
};

#endif
