// Test support shared by the property test and the fuzz target: what a
// value read from a file must read back as after being written again.
#ifndef OX_PROPERTIES_MODEL_H
#define OX_PROPERTIES_MODEL_H

#include <cctype>
#include <string>

// A value counts up to its first zero byte, and a complete "&#x<hex>;"
// reference is written through unchanged and so resolved by the next read
// (low eight bits, nothing for zero).
inline std::string expectedAfterFile(const std::string& inValue) {
    const std::string value(inValue.c_str());
    std::string result;
    for (size_t i = 0; i < value.size();) {
        size_t end = i + 3;
        unsigned byte = 0;
        if (value.compare(i, 3, "&#x") == 0) {
            for (; end < value.size() && std::isxdigit(static_cast<unsigned char>(value[end])); ++end) {
                const char digit = static_cast<char>(std::toupper(static_cast<unsigned char>(value[end])));
                byte =
                    (byte * 16 + static_cast<unsigned>(digit <= '9' ? digit - '0' : digit - 'A' + 10)) % 256;
            }
        }
        if (end > i + 3 && end < value.size() && value[end] == ';') {
            if (byte != 0)
                result += static_cast<char>(byte);
            i = end + 1;
        } else {
            result += value[i++];
        }
    }
    return result;
}

#endif
