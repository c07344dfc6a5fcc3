// Feeds arbitrary bytes to the property table's reader, as the store hands
// them over. Whatever it takes in, even before rejecting the rest, must come
// back unchanged through the writer and the reader: the same keys in the
// same spelling and order, the same values (a value counts only up to its
// first zero byte, all the table compares and writes), the same comments in
// the same order; and the copy must write the very bytes the table wrote, so
// that the store sees a file it wrote as unchanged. Nothing may crash, leak
// or misbehave.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "oxProperties.h"
#include "oxPropertiesModel.h"
#include "oxPropertiesText.h"

namespace {

[[noreturn]] void failProperty(const char* inWhat, size_t inIndex) {
    std::fprintf(stderr, "oxProperties round trip: %s (entry %zu)\n", inWhat, inIndex);
    std::abort();
}

// The comments of text that holds only blanks, entries and comments: outside
// a comment every double quote opens or closes a value, and outside a value
// every "<!--" opens a comment, which ends at its first "--".
std::vector<std::string> commentsIn(const std::string& inText) {
    std::vector<std::string> comments;
    for (size_t i = 0; i < inText.size(); ++i) {
        if (inText[i] == '"') {
            i = inText.find('"', i + 1);
        } else if (inText.compare(i, 4, "<!--") == 0) {
            const size_t end = inText.find("--", i + 4);
            if (end == std::string::npos || inText.compare(end, 3, "-->") != 0)
                failProperty("comment not closed", comments.size());
            comments.push_back(inText.substr(i, end + 3 - i));
            i = end + 2;
        }
        if (i == std::string::npos)
            failProperty("value not closed", comments.size());
    }
    return comments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
    const std::string input(reinterpret_cast<const char*>(inData), inSize);
    oxProperties table;
    size_t stop = 0;
    const bool read = oxPropertiesText::readFromBuffer(table, std::string(input), 0, stop);
    if (table.isModified() != (table.size() > 0))
        failProperty("modified flag after reading", table.size());

    std::ostringstream output(std::ios::binary);
    if (!oxPropertiesText::writeTo(table, output, true))
        failProperty("writer reported failure", table.size());
    const std::string text = output.str();
    // Only printable ASCII and tabs, apart from the line ends and the bytes
    // of comments, which are kept as they were.
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (text.compare(i, 4, "<!--") == 0)
            i = text.find("--", i + 4) + 2;
        else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        else if (!((c >= 32 && c <= 126) || c == '\t'))
            failProperty("raw control or high byte in the written text", i);
    }
    // Where the read failed, how far it got is not said.
    if (read && commentsIn(input.substr(0, stop)) != commentsIn(text))
        failProperty("comments differ", table.size());

    // Compacting drops only what is no longer written.
    table.compact();
    std::ostringstream compacted(std::ios::binary);
    if (!oxPropertiesText::writeTo(table, compacted, true) || compacted.str() != text)
        failProperty("compacting changed the text", table.size());

    oxProperties copy;
    std::istringstream again(text, std::ios::binary);
    if (!oxPropertiesText::readFrom(copy, again))
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
    std::ostringstream rewritten(std::ios::binary);
    if (!oxPropertiesText::writeTo(copy, rewritten, true) || rewritten.str() != text)
        failProperty("the copy writes other bytes", copy.size());
    return 0;
}
