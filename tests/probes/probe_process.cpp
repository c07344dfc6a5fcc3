// A process whose main operation is chosen by the first argument; the
// remaining arguments are its command line.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "oxProcess.h"
#include "oxRevision.h"

namespace {
// A real fault, not one the undefined-behaviour checker stops first.
__attribute__((no_sanitize("undefined"), noinline)) void writeThroughNull() {
    // Pointer and target volatile: the optimiser can neither see that it is
    // null nor drop the store.
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

class oxProbeProcess : public oxProcess {
public:
    explicit oxProbeProcess(const char* inMode) : oxProcess(oxRevision::getBuildTexts()), itsMode(inMode) {}

    void run() override {
        if (strcmp(itsMode, "crash") == 0) {
            writeThroughNull();
        } else if (strcmp(itsMode, "throw") == 0) {
            throw std::runtime_error("probe failure");
        } else if (strcmp(itsMode, "throw-int") == 0) {
            throw 42;
        } else if (strcmp(itsMode, "wait-stop") == 0) {
            waitForStop();
        }
    }

private:
    void waitForStop() {
        fputs("waiting\n", stdout);
        fflush(stdout);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!isStopRequested() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        fputs(isStopRequested() ? "stop requested\n" : "no stop request\n", stdout);
        fflush(stdout);
    }

    const char* itsMode;
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: probe_process MODE [options]\n", stderr);
        return 2;
    }
    oxProbeProcess process(argv[1]);
    return process.start(argc - 1, argv + 1);
}
