// An in-memory text stream from which a finished C string can be taken.
// Not safe for concurrent use of one object; takes no lock.
#ifndef OX_STR_STREAM_H
#define OX_STR_STREAM_H

// The array-based stream is a "backward" header that would otherwise raise
// a #warning in every file including this one.
#ifdef __DEPRECATED
#undef __DEPRECATED
#include <strstream>
#define __DEPRECATED 1
#else
#include <strstream>
#endif

class oxStrStream : public std::strstream {
public:
    // An empty, growing buffer; callers set fill and widths themselves.
    oxStrStream();
    // Unfreezes the buffer so that the stream releases it.
    virtual ~oxStrStream();

    // Appends a terminating zero, freezes the buffer and returns its start.
    // The text stays valid until the stream is destroyed; a second call
    // adds another zero and returns the same text.
    const char* getText();
};

#endif
