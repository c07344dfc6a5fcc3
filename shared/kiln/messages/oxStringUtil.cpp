#include "oxStringUtil.h"

#include <algorithm>
#include <vector>

#include <cstddef>

namespace {

char foldCase(char inChar, bool inCaseSensitive) {
    return inCaseSensitive ? inChar : toUpperAscii(inChar);
}

// True when inPattern stands at inPos; the caller guarantees it fits.
bool matchesAt(const std::string& inText, const std::string& inPattern, size_t inPos, bool inCaseSensitive) {
    for (size_t i = 0; i < inPattern.size(); ++i) {
        if (foldCase(inText[inPos + i], inCaseSensitive) != foldCase(inPattern[i], inCaseSensitive))
            return false;
    }
    return true;
}

}  // namespace

char toUpperAscii(char inChar) {
    if (inChar >= 'a' && inChar <= 'z')
        return static_cast<char>(inChar - ('a' - 'A'));
    return inChar;
}

int compareStrings(const char* inA, const char* inB, bool inCaseSensitive) {
    if (inA == nullptr)
        inA = "";
    if (inB == nullptr)
        inB = "";
    // Unsigned bytes, so that a byte above 127 orders after ASCII on every
    // compiler whatever the signedness of char.
    for (;; ++inA, ++inB) {
        const unsigned char a = static_cast<unsigned char>(foldCase(*inA, inCaseSensitive));
        const unsigned char b = static_cast<unsigned char>(foldCase(*inB, inCaseSensitive));
        if (a != b || a == 0)
            return static_cast<int>(a) - static_cast<int>(b);
    }
}

bool stringsEqual(const char* inA, const char* inB, bool inCaseSensitive) {
    return compareStrings(inA, inB, inCaseSensitive) == 0;
}

int findString(const std::string& inText, const std::string& inPattern, int inStart, bool inCaseSensitive) {
    if (inText.empty() || inPattern.empty())
        return -1;
    const size_t start = inStart < 0 ? 0 : static_cast<size_t>(inStart);
    if (start > inText.size() || inText.size() - start < inPattern.size())
        return -1;
    const size_t last = inText.size() - inPattern.size();
    for (size_t pos = start; pos <= last; ++pos) {
        if (matchesAt(inText, inPattern, pos, inCaseSensitive))
            return static_cast<int>(pos);
    }
    return -1;
}

bool endsWith(const std::string& inText, const std::string& inSuffix, bool inCaseSensitive) {
    if (inText.size() < inSuffix.size())
        return false;
    const int pos = static_cast<int>(inText.size() - inSuffix.size());
    return findString(inText, inSuffix, pos, inCaseSensitive) == pos;
}

bool containsString(const std::string& inText, const std::string& inPattern, bool inCaseSensitive) {
    return findString(inText, inPattern, 0, inCaseSensitive) != -1;
}

std::string toDecimalString(uint32_t inValue) {
    // Ten digits hold 4294967295; fill from the right.
    char digits[10];
    size_t first = sizeof(digits);
    do {
        digits[--first] = static_cast<char>('0' + inValue % 10);
        inValue /= 10;
    } while (inValue != 0);
    return std::string(digits + first, sizeof(digits) - first);
}

void trimRight(std::string& ioText, char inChar) {
    const size_t keep = ioText.find_last_not_of(inChar);
    ioText.erase(keep == std::string::npos ? 0 : keep + 1);
}

void replacePlaceholder(std::string& ioText, char inKey, const std::string& inValue) {
    if (ioText.empty())
        return;
    const std::string pattern{'$', inKey};
    int pos = findString(ioText, pattern, 0, true);
    while (pos != -1) {
        ioText.replace(static_cast<size_t>(pos), pattern.size(), inValue);
        pos = findString(ioText, pattern, pos + static_cast<int>(inValue.size()), true);
    }
}

size_t getEditDistance(const std::string& inA, const std::string& inB, bool inCaseSensitive) {
    const auto same = [inCaseSensitive](char inLeft, char inRight) {
        return inCaseSensitive ? inLeft == inRight : toUpperAscii(inLeft) == toUpperAscii(inRight);
    };
    const size_t columns = inB.size() + 1;
    // Three rows: the one before the previous is needed for a swap.
    std::vector<size_t> older(columns), previous(columns), current(columns);
    for (size_t column = 0; column < columns; ++column)
        previous[column] = column;
    for (size_t row = 1; row <= inA.size(); ++row) {
        current[0] = row;
        for (size_t column = 1; column < columns; ++column) {
            const size_t cost = same(inA[row - 1], inB[column - 1]) ? 0 : 1;
            current[column] =
                std::min({previous[column] + 1, current[column - 1] + 1, previous[column - 1] + cost});
            if (row > 1 && column > 1 && same(inA[row - 1], inB[column - 2]) &&
                same(inA[row - 2], inB[column - 1]))
                current[column] = std::min(current[column], older[column - 2] + 1);
        }
        older.swap(previous);
        previous.swap(current);
    }
    return previous[inB.size()];
}
