// Another library's lock macros of the bare names, defined before kiln's
// headers. Were a kiln header to use one, it would expand to "7" at a
// declaration and this file would not compile; were kiln to define or undo
// one, the static_asserts below would fail.
#define CAPABILITY(x) 7
#define SCOPED_CAPABILITY 7
#define GUARDED_BY(x) 7
#define PT_GUARDED_BY(x) 7
#define ACQUIRE(...) 7
#define RELEASE(...) 7
#define TRY_ACQUIRE(...) 7
#define EXCLUSIVE_LOCKS_REQUIRED(...) 7
#define LOCKS_EXCLUDED(...) 7
#define NO_THREAD_SAFETY_ANALYSIS 7

#include <gtest/gtest.h>

#include "oxInfoLog.h"
#include "oxMemMutex.h"
#include "oxMutex.h"
#include "oxPreferences.h"
#include "oxSimpleMemMutex.h"
#include "oxSingleEvent.h"
#include "oxStMutex.h"
#include "oxThread.h"
#include "oxThreadAnnotations.h"

static_assert(CAPABILITY(0) + SCOPED_CAPABILITY + GUARDED_BY(0) + PT_GUARDED_BY(0) == 28,
              "kiln redefined a foreign lock macro");
static_assert(ACQUIRE() + RELEASE() + TRY_ACQUIRE() + EXCLUSIVE_LOCKS_REQUIRED() + LOCKS_EXCLUDED() +
                      NO_THREAD_SAFETY_ANALYSIS ==
                  42,
              "kiln redefined a foreign lock macro");

TEST(oxThreadAnnotationsTest, ForeignMacrosOfTheSameNamesLeaveTheLocksWorking) {
    oxMemMutex mutex("Foreign");
    {
        oxStMutex lock(mutex);
        EXPECT_TRUE(lock.isLocked());
    }
    oxStMutex relocked(mutex);
    EXPECT_TRUE(relocked.isLocked());
}
