// The framework's lock against std::recursive_mutex under contention: one
// lock shared by all threads, and many locks taken two at a time in one
// fixed order (so never a deadlock, but waits whose owner may itself wait).
// The times are wall-clock per iteration (one lock, or one pair) of all
// threads together. Compare the two locks at the same thread count, from
// one run with repetitions and --benchmark_enable_random_interleaving=true,
// as the machines are shared.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "oxMemMutex.h"

namespace {

// Default-constructible, like the standard locks the template also takes.
class oxBenchMemMutex : public oxMemMutex {
public:
    oxBenchMemMutex() : oxMemMutex("bench") {}
};

// One lock and the count it guards on a cache line of their own, so the
// pairs benchmark measures the locks, not false sharing between them.
template <class Mutex>
struct alignas(64) oxGuardedCount {
    Mutex itsMutex;
    uint64_t itsCount = 0;
};

constexpr unsigned kNumPairLocks = 64;

template <class Mutex>
oxGuardedCount<Mutex>& sharedLock() {
    static oxGuardedCount<Mutex> theLock;
    return theLock;
}

template <class Mutex>
oxGuardedCount<Mutex>* pairLocks() {
    static std::unique_ptr<oxGuardedCount<Mutex>[]> theLocks(new oxGuardedCount<Mutex>[kNumPairLocks]);
    return theLocks.get();
}

template <class Mutex>
void oneSharedLock(benchmark::State& ioState) {
    oxGuardedCount<Mutex>& shared = sharedLock<Mutex>();
    for (auto _ : ioState) {
        shared.itsMutex.lock();
        ++shared.itsCount;
        shared.itsMutex.unlock();
    }
    ioState.SetItemsProcessed(ioState.iterations());
}

template <class Mutex>
void pairsInFixedOrder(benchmark::State& ioState) {
    oxGuardedCount<Mutex>* locks = pairLocks<Mutex>();
    // Each thread its own sequence of pairs, the same in every run.
    uint32_t random = 2463534242u + 7919u * static_cast<uint32_t>(ioState.thread_index());
    for (auto _ : ioState) {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        unsigned first = random % kNumPairLocks;
        unsigned second = (first + 1 + (random >> 8) % (kNumPairLocks - 1)) % kNumPairLocks;
        if (second < first)
            std::swap(first, second);
        locks[first].itsMutex.lock();
        locks[second].itsMutex.lock();
        ++locks[first].itsCount;
        ++locks[second].itsCount;
        locks[second].itsMutex.unlock();
        locks[first].itsMutex.unlock();
    }
    ioState.SetItemsProcessed(ioState.iterations());
}

}  // namespace

// Registered side by side per thread count, so that each pair of figures
// to compare is measured close together in time.
static const bool theRegistered = [] {
    for (int threads : {1, 2, 4, 8}) {
        benchmark::RegisterBenchmark("oneSharedLock/oxMemMutex", oneSharedLock<oxBenchMemMutex>)
            ->Threads(threads)
            ->UseRealTime();
        benchmark::RegisterBenchmark("oneSharedLock/recursive_mutex", oneSharedLock<std::recursive_mutex>)
            ->Threads(threads)
            ->UseRealTime();
    }
    for (int threads = 1; threads <= 8; ++threads) {
        benchmark::RegisterBenchmark("pairsInFixedOrder/oxMemMutex", pairsInFixedOrder<oxBenchMemMutex>)
            ->Threads(threads)
            ->UseRealTime();
        benchmark::RegisterBenchmark("pairsInFixedOrder/recursive_mutex",
                                     pairsInFixedOrder<std::recursive_mutex>)
            ->Threads(threads)
            ->UseRealTime();
    }
    return true;
}();
