// Names the processor in every benchmark report: figures from machines
// of one kind differ with the model, so each run says which it ran on.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

const bool theContextAdded = [] {
    benchmark::AddCustomContext("cpu_model", cpuModel());
    return true;
}();

}  // namespace
