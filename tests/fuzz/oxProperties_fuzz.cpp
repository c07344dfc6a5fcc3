// Feeds arbitrary bytes to the property table's reader. Whatever it takes
// in, even before rejecting the rest, must come back unchanged through the
// writer and the reader: the same keys in the same spelling and order, the
// same values, where a value counts only up to its first zero byte (all the
// table compares and writes). Nothing may crash, leak or misbehave.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "oxProperties.h"
#include "oxPropertiesModel.h"

namespace {

[[noreturn]] void failProperty(const char* inWhat, size_t inIndex) {
    std::fprintf(stderr, "oxProperties round trip: %s (entry %zu)\n", inWhat, inIndex);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
    oxProperties table;
    std::istringstream input(std::string(reinterpret_cast<const char*>(inData), inSize), std::ios::binary);
    table.readFrom(input);
    if (table.isModified() != (table.size() > 0))
        failProperty("modified flag after reading", table.size());

    std::ostringstream output(std::ios::binary);
    if (!table.writeTo(output, true))
        failProperty("writer reported failure", table.size());
    const std::string text = output.str();
    // Only printable ASCII and tabs, apart from the line ends.
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        else if (!((c >= 32 && c <= 126) || c == '\t'))
            failProperty("raw control or high byte in the written text", i);
    }

    oxProperties copy;
    std::istringstream again(text, std::ios::binary);
    if (!copy.readFrom(again))
        failProperty("written text rejected", copy.size());
    if (copy.size() != table.size())
        failProperty("entry count differs", copy.size());
    for (size_t i = 0; i < table.size(); ++i) {
        std::string key;
        std::string value;
        std::string copyKey;
        std::string copyValue;
        if (!table.getEntry(i, key, value) || !copy.getEntry(i, copyKey, copyValue))
            failProperty("entry missing", i);
        if (key != copyKey)
            failProperty("key or order differs", i);
        if (expectedAfterFile(value) != copyValue)
            failProperty("value differs", i);
    }
    return 0;
}
