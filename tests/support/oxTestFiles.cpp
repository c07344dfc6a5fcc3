#include "oxTestFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

std::string readFileBytes(const std::filesystem::path& inPath) {
    std::ifstream file(inPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool writeFileBytes(const std::filesystem::path& inPath, const std::string& inBytes) {
    std::ofstream file(inPath, std::ios::binary | std::ios::trunc);
    file << inBytes;
    file.close();
    return static_cast<bool>(file);
}

oxScratchDirectory::oxScratchDirectory(const std::string& inPrefix) {
    // A random part against other processes, a count against this one.
    static std::atomic<unsigned> theCount{0};
    std::random_device source;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        const std::string name =
            inPrefix + "_" + std::to_string(source()) + "_" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000) + "_" +
            std::to_string(++theCount);
        // create_directory is false for a name that exists: try another.
        if (std::filesystem::create_directory(base / name)) {
            itsPath = std::filesystem::canonical(base / name);
            return;
        }
    }
}

oxScratchDirectory::~oxScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(itsPath, ignored);
}
