// What only tests ask of the deadlock detector. For tests only: the tool
// never includes this header and it is not installed.
#ifndef OX_MEM_MUTEX_TESTING_H
#define OX_MEM_MUTEX_TESTING_H

#include "oxMemMutex.h"

// The entry of the wait-for graph for inThreadID: the mutex that thread is
// recorded as waiting for, or null. Takes the bookkeeping lock.
oxMemMutex* getBlockingMutexForTesting(DWORD inThreadID);

#endif
