// Turns a password into the text stored under DatabasePassword: zero-padded,
// AES-256-CFB encrypted under a built-in key and vector, upper-case hex.
// The server that reads the preferences file decrypts with the same key and
// vector; README.md ("Password format") says where they live.
// Not safe for concurrent use of one object; takes part in no lock order.
#ifndef OX_CRYPTOR_H
#define OX_CRYPTOR_H

#include <string>

class oxCryptor {
public:
    // The key is the built-in base with the first 32 bytes of inKey
    // exclusive-ored into it; the tool passes "" and so uses the base alone.
    // Throws std::bad_alloc (after "throwing bad_alloc" at level 6) when the
    // cipher cannot be allocated.
    explicit oxCryptor(const std::string& inKey);
    virtual ~oxCryptor();

    oxCryptor(const oxCryptor&) = delete;
    oxCryptor& operator=(const oxCryptor&) = delete;

    // Replaces outText with 2 * L upper-case hex digits, L being the padded
    // length (9 below 9 bytes, else inText's length rounded up to a multiple
    // of 3). inText and outText may be the same string. Every call starts
    // from the same vector, so equal texts give equal digits.
    void encrypt(const std::string& inText, std::string& outText);

    // Overwrites every byte ioText's storage holds, its spare room
    // included, so that no password outlives its use in memory, then
    // empties it.
    static void wipe(std::string& ioText);

private:
    // Holds the cipher, so that no library header leaks out of this one.
    struct oxCryptorInfo;

    oxCryptorInfo* itsInfo;
};

#endif
