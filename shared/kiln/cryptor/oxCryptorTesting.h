// The raw key and vector of the password encryptor, so that tests can have
// an independent AES implementation decrypt what oxCryptor::encrypt
// writes. For tests only: the tool never includes this header and it is
// not installed.
#ifndef OX_CRYPTOR_TESTING_H
#define OX_CRYPTOR_TESTING_H

#include <string>

// The raw 32-byte key a cryptor built with inKey uses.
std::string getCryptorKeyForTesting(const std::string& inKey);
// The raw 16-byte vector every encryption starts from.
std::string getCryptorInitVectorForTesting();

#endif
