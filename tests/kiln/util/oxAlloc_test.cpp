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
    EXPECT_EQ(0u, empty.getSize());
    EXPECT_EQ(nullptr, empty.getData());

    oxAlloc buffer(200, true);
    ASSERT_NE(nullptr, buffer.getData());
    EXPECT_EQ(200u, buffer.getSize());
    fillPattern(buffer.getData(), 200);
    EXPECT_TRUE(hasPattern(buffer.getData(), 200));

    // Re-allocating replaces the buffer with one of the new size.
    EXPECT_TRUE(buffer.allocate(50, false));
    ASSERT_NE(nullptr, buffer.getData());
    EXPECT_EQ(50u, buffer.getSize());
    fillPattern(buffer.getData(), 50);

    buffer.release();
    EXPECT_EQ(0u, buffer.getSize());
    EXPECT_EQ(nullptr, buffer.getData());
    buffer.release();
    EXPECT_EQ(0u, buffer.getSize());
}

TEST(oxAllocTest, GrowKeepsContentsAndNeverShrinks) {
    oxAlloc buffer(200, true);
    fillPattern(buffer.getData(), 200);
    const char* before = buffer.getData();

    EXPECT_TRUE(buffer.grow(100, true));
    EXPECT_EQ(200u, buffer.getSize());
    EXPECT_EQ(before, buffer.getData());
    EXPECT_TRUE(buffer.grow(200, false));
    EXPECT_EQ(before, buffer.getData());
    EXPECT_TRUE(hasPattern(buffer.getData(), 200));

    EXPECT_TRUE(buffer.grow(300, true));
    EXPECT_EQ(300u, buffer.getSize());
    EXPECT_TRUE(hasPattern(buffer.getData(), 200));
    std::memset(buffer.getData() + 200, 'z', 100);

    oxAlloc empty;
    EXPECT_TRUE(empty.grow(0, true));
    EXPECT_EQ(nullptr, empty.getData());
    EXPECT_TRUE(empty.grow(16, false));
    ASSERT_NE(nullptr, empty.getData());
    EXPECT_EQ(16u, empty.getSize());
}

TEST(oxAllocTest, ChecksAreReportedOnlyWithLevelSix) {
    {
        oxLogCapture capture(6);
        oxAlloc buffer;
        // A zero-byte request is reported, then made all the same.
        EXPECT_TRUE(buffer.allocate(0, true));
        EXPECT_EQ(0u, buffer.getSize());
        const std::string& text = capture.finish();
        EXPECT_EQ(1, countOccurrences(text, "Assertion failed.")) << text;
        EXPECT_NE(std::string::npos, text.find(offendingCommand("inSize"))) << text;
        EXPECT_NE(std::string::npos, text.find("oxAlloc.cpp")) << text;
    }
    {
        oxLogCapture capture(6);
        oxAlloc empty;
        EXPECT_EQ(nullptr, empty.getData());
        const std::string& text = capture.finish();
        EXPECT_EQ(1, countOccurrences(text, "Assertion failed.")) << text;
        EXPECT_NE(std::string::npos, text.find(offendingCommand("itsData"))) << text;
    }
    {
        oxLogCapture capture(6);
        oxAlloc buffer(10, true);
        EXPECT_NE(nullptr, buffer.getData());
        EXPECT_EQ("", capture.finish());
    }
    {
        oxLogCapture capture(5);
        oxAlloc empty;
        empty.allocate(0, false);
        empty.release();
        EXPECT_EQ(nullptr, empty.getData());
        EXPECT_EQ("", capture.finish());
    }
}

TEST(oxAllocTest, FailedAllocationWithoutThrowing) {
    oxAlloc buffer(200, true);
    fillPattern(buffer.getData(), 200);
    {
        oxRefusedAllocation refuse(theFailingSize);
        oxLogCapture capture(6);
        EXPECT_FALSE(buffer.grow(theFailingSize, false));
        // A failed grow keeps the old buffer intact.
        EXPECT_EQ(200u, buffer.getSize());
        ASSERT_NE(nullptr, buffer.getData());
        EXPECT_TRUE(hasPattern(buffer.getData(), 200));

        // A failed allocate has already released the old buffer.
        EXPECT_FALSE(buffer.allocate(theFailingSize, false));
        EXPECT_EQ(0u, buffer.getSize());
        EXPECT_EQ(nullptr, buffer.getData());
        EXPECT_EQ(0, countOccurrences(capture.finish(), "throwing bad_alloc"));
    }
    EXPECT_TRUE(buffer.allocate(theFailingSize, false));
    EXPECT_EQ(theFailingSize, buffer.getSize());
}

TEST(oxAllocTest, FailedAllocationThrowsAfterItsLogLine) {
    oxAlloc buffer(200, true);
    fillPattern(buffer.getData(), 200);
    oxRefusedAllocation refuse(theFailingSize);
    {
        oxLogCapture capture(6);
        EXPECT_THROW(buffer.grow(theFailingSize, true), std::bad_alloc);
        EXPECT_EQ(1, countOccurrences(capture.finish(), "throwing bad_alloc"));
        EXPECT_EQ(200u, buffer.getSize());
        EXPECT_TRUE(hasPattern(buffer.getData(), 200));
    }
    {
        oxLogCapture capture(6);
        EXPECT_THROW(buffer.allocate(theFailingSize, true), std::bad_alloc);
        EXPECT_EQ(1, countOccurrences(capture.finish(), "throwing bad_alloc"));
        EXPECT_EQ(0u, buffer.getSize());
        EXPECT_EQ(nullptr, buffer.getData());
    }
    {
        oxLogCapture capture(5);
        EXPECT_THROW(oxAlloc failing(theFailingSize, true), std::bad_alloc);
        EXPECT_EQ("", capture.finish());
    }
    {
        oxLogCapture capture(6);
        oxAlloc quiet(theFailingSize, false);
        EXPECT_EQ(0u, quiet.getSize());
        EXPECT_EQ("", capture.finish());
    }
}
