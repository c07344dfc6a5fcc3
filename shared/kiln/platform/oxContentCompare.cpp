#include "oxContentCompare.h"

#include <cstring>
#include <string>

oxFileAccess compareContentsWithReads(const oxChunkSource& inSource, const oxReadAtMost& inRead,
                                      bool& outSame) {
    outSame = false;
    oxContentChunk chunk;
    std::string bytes;
    bool readFailed = false;
    // Whether the file holds inLength bytes more like these (with inExtra
    // more wanted, to find the end).
    const auto holds = [&](const char* inExpected, size_t inLength, size_t inExtra) {
        bytes.resize(inLength + inExtra);
        size_t count = 0;
        if (!inRead(&bytes[0], bytes.size(), count)) {
            readFailed = true;
            return false;
        }
        return count == inLength && std::memcmp(bytes.data(), inExpected, inLength) == 0;
    };
    for (oxPiece next = oxPiece::more; next == oxPiece::more;) {
        chunk.clear();
        next = inSource(chunk);
        if (next == oxPiece::cancelled) {
            return oxFileAccess::ok;
        }
        // A byte more after the last piece: the file must end with it.
        const size_t extra = next == oxPiece::last ? 1 : 0;
        const bool same = chunk.itsBorrowedLength == 0
                              ? holds(chunk.itsMade.data(), chunk.itsMade.size(), extra)
                              : holds(chunk.itsMade.data(), chunk.itsMade.size(), 0) &&
                                    holds(chunk.itsBorrowed, chunk.itsBorrowedLength, extra);
        if (!same) {
            return readFailed ? oxFileAccess::refused : oxFileAccess::ok;
        }
    }
    outSame = true;
    return oxFileAccess::ok;
}
