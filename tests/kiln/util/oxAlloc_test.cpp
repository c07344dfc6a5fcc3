#include "oxAlloc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "oxLogCapture.h"

namespace {

// Requests of exactly this many bytes are refused, so that failures can be
// produced on demand; every other request is served as usual.
std::atomic<std::size_t> theRefusedSize{0};

class oxRefusedAllocation {
public:
    explicit oxRefusedAllocation(std::size_t inSize) { theRefusedSize = inSize; }
    ~oxRefusedAllocation() { theRefusedSize = 0; }
};

const uint32_t theFailingSize = 123457;

void fillPattern(char* outData, uint32_t inSize) {
    for (uint32_t i = 0; i < inSize; ++i)
        outData[i] = static_cast<char>('a' + i % 26);
}

bool hasPattern(const char* inData, uint32_t inSize) {
    for (uint32_t i = 0; i < inSize; ++i) {
        if (inData[i] != static_cast<char>('a' + i % 26))
            return false;
    }
    return true;
}

// "size data", the data as "null" or "set".
std::string stateOf(oxAlloc& inBuffer) {
    return std::to_string(inBuffer.getSize()) + (inBuffer.getData() ? " set" : " null");
}

}  // namespace

// Replaces the global non-throwing allocation function for this test
// program; it behaves as the standard one except for the refused size.
void* operator new(std::size_t inSize, const std::nothrow_t&) noexcept {
    if (inSize != 0 && inSize == theRefusedSize.load())
        return nullptr;
    try {
        return ::operator new(inSize);
    } catch (...) {
        return nullptr;
    }
}

TEST(oxAllocTest, AllocateHandsOutAWritableBuffer) {
    oxAlloc empty;
    EXPECT_EQ("0 null", stateOf(empty));
    oxAlloc buffer(200, true);
    ASSERT_EQ("200 set", stateOf(buffer));
    fillPattern(buffer.getData(), 200);
    EXPECT_TRUE(hasPattern(buffer.getData(), 200));
    // Re-allocating replaces the buffer with one of the new size.
    EXPECT_TRUE(buffer.allocate(50, false));
    ASSERT_EQ("50 set", stateOf(buffer));
    fillPattern(buffer.getData(), 50);

    buffer.release();
    EXPECT_EQ("0 null", stateOf(buffer));
    buffer.release();
    EXPECT_EQ("0 null", stateOf(buffer));
}

TEST(oxAllocTest, GrowKeepsContentsAndNeverShrinks) {
    oxAlloc buffer(200, true);
    fillPattern(buffer.getData(), 200);
    const char* before = buffer.getData();
    EXPECT_TRUE(buffer.grow(100, true));
    EXPECT_TRUE(buffer.grow(200, false));
    EXPECT_EQ(200u, buffer.getSize());
    EXPECT_EQ(before, buffer.getData());

    EXPECT_TRUE(buffer.grow(300, true));
    EXPECT_EQ(300u, buffer.getSize());
    EXPECT_TRUE(hasPattern(buffer.getData(), 200));
    std::memset(buffer.getData() + 200, 'z', 100);

    oxAlloc empty;
    EXPECT_TRUE(empty.grow(0, true));
    EXPECT_EQ("0 null", stateOf(empty));
    EXPECT_TRUE(empty.grow(16, false));
    EXPECT_EQ("16 set", stateOf(empty));
}

TEST(oxAllocTest, ChecksAreReportedOnlyWithLevelSix) {
    // A zero-byte request is reported, then made all the same.
    std::string text = logOf(6, [] {
        oxAlloc buffer;
        EXPECT_TRUE(buffer.allocate(0, true));
        EXPECT_EQ(0u, buffer.getSize());
    });
    EXPECT_EQ(1, countOccurrences(text, "Assertion failed.")) << text;
    EXPECT_EQ(1, countOccurrences(text, offendingCommand("inSize"))) << text;
    EXPECT_NE(std::string::npos, text.find("oxAlloc.cpp")) << text;

    text = logOf(6, [] { EXPECT_EQ(nullptr, oxAlloc().getData()); });
    EXPECT_EQ(1, countOccurrences(text, "Assertion failed.")) << text;
    EXPECT_EQ(1, countOccurrences(text, offendingCommand("itsData"))) << text;

    EXPECT_EQ("", logOf(6, [] { EXPECT_NE(nullptr, oxAlloc(10, true).getData()); }));
    EXPECT_EQ("", logOf(5, [] {
                  oxAlloc empty;
                  empty.allocate(0, false);
                  empty.release();
                  EXPECT_EQ(nullptr, empty.getData());
              }));
}

TEST(oxAllocTest, FailedAllocationReportsOrThrowsAndKeepsWhatItShould) {
    for (bool throwing : {false, true}) {
        SCOPED_TRACE(throwing ? "throwing" : "not throwing");
        oxAlloc buffer(200, true);
        fillPattern(buffer.getData(), 200);
        oxRefusedAllocation refuse(theFailingSize);
        const int logLines = throwing ? 1 : 0;

        // A failed grow keeps the old buffer intact.
        std::string text = logOf(6, [&] {
            if (throwing)
                EXPECT_THROW(buffer.grow(theFailingSize, true), std::bad_alloc);
            else
                EXPECT_FALSE(buffer.grow(theFailingSize, false));
        });
        EXPECT_EQ(logLines, countOccurrences(text, "throwing bad_alloc"));
        ASSERT_EQ("200 set", stateOf(buffer));
        EXPECT_TRUE(hasPattern(buffer.getData(), 200));

        // A failed allocate has already released the old buffer.
        text = logOf(6, [&] {
            if (throwing)
                EXPECT_THROW(buffer.allocate(theFailingSize, true), std::bad_alloc);
            else
                EXPECT_FALSE(buffer.allocate(theFailingSize, false));
        });
        EXPECT_EQ(logLines, countOccurrences(text, "throwing bad_alloc"));
        EXPECT_EQ("0 null", stateOf(buffer));
    }

    {
        oxRefusedAllocation refuse(theFailingSize);
        EXPECT_EQ("", logOf(5, [] { EXPECT_THROW(oxAlloc failing(theFailingSize, true), std::bad_alloc); }));
        EXPECT_EQ("", logOf(6, [] { EXPECT_EQ(0u, oxAlloc(theFailingSize, false).getSize()); }));
    }
    // Only the refusal made it fail.
    oxAlloc buffer;
    EXPECT_TRUE(buffer.allocate(theFailingSize, false));
    EXPECT_EQ(theFailingSize, buffer.getSize());
}
