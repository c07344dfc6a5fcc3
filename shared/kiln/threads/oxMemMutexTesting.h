// What only tests ask of the deadlock detector. For tests only: the tool
// never includes this header and it is not installed.
#ifndef OX_MEM_MUTEX_TESTING_H
#define OX_MEM_MUTEX_TESTING_H

#include <cstddef>

#include "oxMemMutex.h"

// The entry of the wait-for graph for inThreadID: the mutex that thread is
// recorded as waiting for, or null. Takes the bookkeeping lock.
oxMemMutex* getBlockingMutexForTesting(DWORD inThreadID);
// How many entries the wait-for graph keeps, null ones included. Takes the
// bookkeeping lock.
size_t countWaitForEntriesForTesting();

#endif
