// Test support shared by the property test and the fuzz target: what a
// value read from a file must read back as after being written again.
#ifndef OX_PROPERTIES_MODEL_H
#define OX_PROPERTIES_MODEL_H

#include <string>

// The bytes up to the first zero byte, which is all the table compares and
// writes; every other byte, an "&" that starts a reference included, reads
// back as it was.
inline std::string expectedAfterFile(const std::string& inValue) {
    return std::string(inValue.c_str());
}

#endif
