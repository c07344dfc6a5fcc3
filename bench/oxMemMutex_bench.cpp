// The cost of the framework's lock against the standard ones, uncontended:
// a first-level lock plus unlock, and a re-lock by the owner; and the same
// through the scoped holders, as framework code takes its locks.
#include <benchmark/benchmark.h>

#include <mutex>

#include "oxMemMutex.h"
#include "oxStMutex.h"

static void memMutexFirstLevel(benchmark::State& ioState) {
    oxMemMutex mutex("bench");
    for (auto _ : ioState) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(memMutexFirstLevel);

static void memMutexRecursive(benchmark::State& ioState) {
    oxMemMutex mutex("bench");
    mutex.lock();
    for (auto _ : ioState) {
        mutex.lock();
        mutex.unlock();
    }
    mutex.unlock();
}
BENCHMARK(memMutexRecursive);

static void recursiveMutexFirstLevel(benchmark::State& ioState) {
    std::recursive_mutex mutex;
    for (auto _ : ioState) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(recursiveMutexFirstLevel);

static void recursiveMutexRecursive(benchmark::State& ioState) {
    std::recursive_mutex mutex;
    mutex.lock();
    for (auto _ : ioState) {
        mutex.lock();
        mutex.unlock();
    }
    mutex.unlock();
}
BENCHMARK(recursiveMutexRecursive);

static void plainMutex(benchmark::State& ioState) {
    std::mutex mutex;
    for (auto _ : ioState) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(plainMutex);

static void memMutexThroughHolder(benchmark::State& ioState) {
    oxMemMutex mutex("bench");
    for (auto _ : ioState)
        oxStMutex hold(mutex);
}
BENCHMARK(memMutexThroughHolder);

static void recursiveMutexThroughGuard(benchmark::State& ioState) {
    std::recursive_mutex mutex;
    for (auto _ : ioState)
        std::lock_guard<std::recursive_mutex> hold(mutex);
}
BENCHMARK(recursiveMutexThroughGuard);
