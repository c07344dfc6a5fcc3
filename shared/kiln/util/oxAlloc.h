// A heap buffer owned by one object. Each call chooses whether a failed
// allocation throws std::bad_alloc or only returns false.
// Not safe for concurrent use of one object; takes no lock.
#ifndef OX_ALLOC_H
#define OX_ALLOC_H

#include <cstdint>

class oxAlloc {
public:
    // Empty: no buffer, size 0.
    oxAlloc();
    // Empty, then allocate(inSize, inThrow); throws as allocate does.
    oxAlloc(uint32_t inSize, bool inThrow);
    virtual ~oxAlloc();

    oxAlloc(const oxAlloc&) = delete;
    oxAlloc& operator=(const oxAlloc&) = delete;

    // Releases the current buffer first, so its contents are lost, then
    // gets inSize uninitialised bytes. On failure: with inThrow, logs
    // "throwing bad_alloc" at level 6 and throws std::bad_alloc, leaving the
    // object empty; without, returns false and the object is empty.
    bool allocate(uint32_t inSize, bool inThrow);

    // Never shrinks: true and no change when the buffer already holds
    // inSize bytes. Otherwise a new buffer of inSize bytes receives the old
    // contents (the rest is uninitialised). On failure the old buffer is
    // kept: with inThrow, std::bad_alloc after the level-6 line; without,
    // false.
    bool grow(uint32_t inSize, bool inThrow);

    // The buffer as it is; null when empty (reported as an assertion with
    // level 6 enabled).
    char* getData();

    uint32_t getSize() const { return itsSize; }

    void release();

private:
    // Null on failure, or throws after the log line when inThrow.
    static char* obtain(uint32_t inSize, bool inThrow);

    char* itsData;
    uint32_t itsSize;
};

#endif
