#include "oxMemoryPolicy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <typeinfo>

#include "oxWin32.h"

namespace {

// The address and thread sanitizers report a failed operator new
// themselves and never call the new-handler, so real allocation failures
// can only be tried without them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool kAllocationFailuresObservable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
const bool kAllocationFailuresObservable = false;
#else
const bool kAllocationFailuresObservable = true;
#endif
#else
const bool kAllocationFailuresObservable = true;
#endif

// Thrown by the handler that stands for "whatever was installed before".
class PreviousHandlerCalled : public std::bad_alloc {};

int theMarkerCalls = 0;

void markerHandler() {
    ++theMarkerCalls;
    throw PreviousHandlerCalled();
}

// A request no allocator can satisfy; volatile keeps the compiler from
// reasoning about it.
volatile size_t theHugeSize = SIZE_MAX / 2;

// True when inAction throws the exact standard class, not a subclass.
template <typename Action>
bool throwsPlainBadAlloc(Action inAction) {
    try {
        inAction();
    } catch (const std::bad_alloc& caught) {
        return typeid(caught) == typeid(std::bad_alloc);
    }
    return false;
}

void allocateHuge() {
    void* never = ::operator new(theHugeSize);
    ::operator delete(never);
}

}  // namespace

// Each test starts with the marker handler and new mode 0; the test
// binary's own handler and mode come back whatever happens.
class oxMemoryPolicyTest : public testing::Test {
protected:
    void SetUp() override {
        std::set_new_handler(&markerHandler);
        theMarkerCalls = 0;
    }
    void TearDown() override {
        std::set_new_handler(itsHandler);
        _set_new_mode(itsMode);
    }

    const std::new_handler itsHandler = std::get_new_handler();
    const int itsMode = _set_new_mode(0);
};

TEST_F(oxMemoryPolicyTest, InstallsThrowingHandlerAndNewModeThenRestoresThem) {
    {
        oxMemoryPolicy policy;
        const std::new_handler installed = std::get_new_handler();
        ASSERT_NE(nullptr, installed);
        EXPECT_NE(&markerHandler, installed);
        // Reading the mode sets it; put the policy's value straight back.
        EXPECT_EQ(1, _set_new_mode(1));
        EXPECT_TRUE(throwsPlainBadAlloc(installed));
    }
    EXPECT_EQ(&markerHandler, std::get_new_handler());
    EXPECT_EQ(0, _set_new_mode(0));
}

TEST_F(oxMemoryPolicyTest, FailedAllocationSurfacesAsBadAlloc) {
    if (!kAllocationFailuresObservable)
        GTEST_SKIP() << "the sanitizer handles failed allocations itself";
    {
        oxMemoryPolicy policy;
        EXPECT_TRUE(throwsPlainBadAlloc(allocateHuge));
        EXPECT_EQ(0, theMarkerCalls);
    }
    // Once the policy is gone, failures reach the previous handler again.
    EXPECT_THROW(allocateHuge(), PreviousHandlerCalled);
    EXPECT_EQ(1, theMarkerCalls);
}
