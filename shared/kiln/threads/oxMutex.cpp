#include "oxMutex.h"

namespace {
std::unique_ptr<const std::string> keptName(const char* inName, size_t inLength) {
    if (inLength == 0)
        return nullptr;
    return std::make_unique<const std::string>(inName, inLength);
}
}  // namespace

oxMutex::oxMutex(const char* inName)
    : itsName(inName != nullptr ? keptName(inName, std::char_traits<char>::length(inName)) : nullptr) {}

oxMutex::oxMutex(const std::string& inName) : itsName(keptName(inName.data(), inName.size())) {}

oxMutex::~oxMutex() = default;
