// Comparing a content source with a file's bytes, the same on every
// platform: each platform's file module opens the file and reads it.
#ifndef OX_CONTENT_COMPARE_H
#define OX_CONTENT_COMPARE_H

#include <cstddef>
#include <functional>

#include "oxPlatformFiles.h"

// Reads up to inLength bytes into outBytes from where the last read
// ended, fewer only at the end of the file; false on a read error.
using oxReadAtMost = std::function<bool(char* outBytes, size_t inLength, size_t& outCount)>;

// compareFileContents' work once the file is open: outSame when the reads
// give exactly the bytes inSource gives, piece for piece and no more.
// refused: a read failed; a cancelled source gives ok with outSame false.
oxFileAccess compareContentsWithReads(const oxChunkSource& inSource, const oxReadAtMost& inRead,
                                      bool& outSame);

#endif
