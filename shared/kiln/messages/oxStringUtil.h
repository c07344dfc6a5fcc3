// Byte-string helpers shared by the framework. Texts carry no code page:
// ignoring case folds only the ASCII letters a to z, every other byte is
// compared as it stands. The case flag true means case-sensitive.
// Safe from any thread: no shared state, no lock.
#ifndef OX_STRING_UTIL_H
#define OX_STRING_UTIL_H

#include <cstdint>
#include <string>

// 'a' to 'z' become 'A' to 'Z'; every other value is returned unchanged.
char toUpperAscii(char inChar);

// Walks both C strings while their characters match and returns the
// difference of the first differing characters, read as unsigned bytes
// (0 when the strings are equal). A null pointer counts as the empty string.
int compareStrings(const char* inA, const char* inB, bool inCaseSensitive);

// compareStrings gives 0.
bool stringsEqual(const char* inA, const char* inB, bool inCaseSensitive);

// Index of the first occurrence of inPattern at or after inStart, or -1.
// -1 also when either text is empty or fewer than inPattern's length
// characters remain from inStart. A negative start searches from 0.
int findString(const std::string& inText, const std::string& inPattern, int inStart, bool inCaseSensitive);

// False when inText is shorter than inSuffix or inSuffix is empty; else
// whether inSuffix stands at the end of inText.
bool endsWith(const std::string& inText, const std::string& inSuffix, bool inCaseSensitive);

// findString from 0 finds inPattern, so an empty pattern is never contained.
bool containsString(const std::string& inText, const std::string& inPattern, bool inCaseSensitive);

// Decimal digits only: no sign, no padding.
std::string toDecimalString(uint32_t inValue);

// Removes trailing characters equal to inChar.
void trimRight(std::string& ioText, char inChar);

// Replaces every "$" inKey in ioText by inValue. Text that inValue brings
// in is not searched again, so a value holding its own placeholder cannot
// loop; a "$" followed by any other character stays as it is.
void replacePlaceholder(std::string& ioText, char inKey, const std::string& inValue);

// How many single-character insertions, removals, replacements or swaps of
// two neighbours turn inA into inB (the optimal string alignment distance).
size_t getEditDistance(const std::string& inA, const std::string& inB, bool inCaseSensitive);

#endif
