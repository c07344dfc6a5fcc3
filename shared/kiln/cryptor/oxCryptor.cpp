#include "oxCryptor.h"

#include <cstring>
#include <new>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/misc.h>
#include <cryptopp/modes.h>
#include <cryptopp/secblock.h>

#include "oxAssert.h"
#include "oxCryptorTesting.h"
#include "oxInfoLog.h"

namespace {

const size_t theKeySize = 32;

// First half of the key base. Neither table is the key on its own; the
// server that decrypts needs both, and the vector, unchanged.
const CryptoPP::byte theKeyTableA[theKeySize] = {
    0x15, 0x51, 0x43, 0x46, 0x25, 0x20, 0x91, 0x84, 0x4f, 0x5b, 0xde, 0x6d, 0x7a, 0x56, 0x04, 0x78,
    0xeb, 0xff, 0x67, 0x61, 0x04, 0x15, 0x31, 0x36, 0xf5, 0x23, 0x39, 0x44, 0x4b, 0x65, 0xb2, 0xd8};

// The same vector for every call: the stored text carries none, so the
// reader must hold this one.
const CryptoPP::byte theInitVector[CryptoPP::AES::BLOCKSIZE] = {
    0x50, 0x91, 0xf7, 0xba, 0xe4, 0x02, 0x6e, 0x95, 0xaf, 0x41, 0x55, 0x9c, 0x30, 0x10, 0x67, 0x3e};

// Below 9 bytes the length of a short password is hidden; above, only its
// multiple of 3 shows.
size_t paddedLength(size_t inLength) {
    if (inLength < 9)
        return 9;
    return inLength + (3 - inLength % 3) % 3;
}

[[noreturn]] void throwBadAlloc() {
    if (!oxInfoLog::isSuppressed(6))
        oxInfoLog::log(6, "throwing bad_alloc");
    throw std::bad_alloc();
}

// Second half of the key base, kept away from the first.
const CryptoPP::byte theKeyTableB[theKeySize] = {
    0x48, 0xff, 0x0e, 0x28, 0xc9, 0x05, 0x24, 0x05, 0xd7, 0x20, 0x4e, 0x95, 0x87, 0x21, 0x15, 0xe6,
    0x6b, 0x74, 0xa7, 0xaa, 0xd1, 0xb4, 0x4c, 0x0d, 0x99, 0x91, 0xfd, 0x41, 0xa2, 0x25, 0x50, 0x77};

// Held in place rather than on the heap, so that building it cannot fail,
// and wiped when it goes.
typedef CryptoPP::FixedSizeSecBlock<CryptoPP::byte, theKeySize> oxKeyBlock;

// The base, with inKey's first 32 bytes mixed in; bytes past them are ignored.
void buildKey(const std::string& inKey, oxKeyBlock& outKey) {
    for (size_t i = 0; i < theKeySize; ++i) {
        outKey[i] = theKeyTableA[i] ^ theKeyTableB[i];
        if (i < inKey.size())
            outKey[i] ^= static_cast<CryptoPP::byte>(inKey[i]);
    }
}

}  // namespace

struct oxCryptor::oxCryptorInfo {
    // Owned; deleted by the cryptor through its virtual destructor.
    CryptoPP::BlockCipher* itsEncryptor = nullptr;
};

oxCryptor::oxCryptor(const std::string& inKey) : itsInfo(nullptr) {
    itsInfo = new (std::nothrow) oxCryptorInfo;
    if (itsInfo == nullptr)
        throwBadAlloc();

    oxKeyBlock key;
    buildKey(inKey, key);
    itsInfo->itsEncryptor = new (std::nothrow) CryptoPP::AES::Encryption(key, key.size());
    if (itsInfo->itsEncryptor == nullptr) {
        delete itsInfo;
        itsInfo = nullptr;
        throwBadAlloc();
    }
}

oxCryptor::~oxCryptor() {
    if (itsInfo != nullptr)
        delete itsInfo->itsEncryptor;
    delete itsInfo;
}

void oxCryptor::encrypt(const std::string& inText, std::string& outText) {
    oxAssert(itsInfo);
    if (itsInfo != nullptr)
        oxAssert(itsInfo->itsEncryptor);
    if (itsInfo == nullptr || itsInfo->itsEncryptor == nullptr) {
        // Cannot happen to a constructed cryptor; if it ever did, leave
        // nothing behind that could be stored as if it were encrypted.
        outText.clear();
        return;
    }

    const size_t length = inText.size();
    const size_t padded = paddedLength(length);
    CryptoPP::SecByteBlock work(padded);  // wiped by its allocator on release
    std::memset(work.data(), 0, padded);
    std::memcpy(work.data(), inText.data(), length);

    // A new mode object per call, so every call starts from the vector.
    // Feedback of one full block: CFB-128.
    CryptoPP::CFB_Mode_ExternalCipher::Encryption mode(*itsInfo->itsEncryptor, theInitVector,
                                                       CryptoPP::AES::BLOCKSIZE);
    mode.ProcessData(work.data(), work.data(), padded);

    // Only now, as inText may be outText. When it is, the password's bytes
    // would otherwise outlive it in the string's old storage.
    if (!outText.empty())
        CryptoPP::SecureWipeBuffer(reinterpret_cast<CryptoPP::byte*>(&outText[0]), outText.size());
    outText.clear();

    CryptoPP::HexEncoder encoder(new CryptoPP::StringSink(outText), true, 0, "", "");
    encoder.Put(work.data(), padded);
    encoder.MessageEnd();
}

void oxCryptor::wipe(std::string& ioText) {
    // Grown to its capacity, which never moves it, so that the spare room
    // an earlier, longer text left is wiped too.
    ioText.resize(ioText.capacity());
    if (!ioText.empty())
        CryptoPP::SecureWipeBuffer(reinterpret_cast<CryptoPP::byte*>(&ioText[0]), ioText.size());
    ioText.clear();
}

std::string getCryptorKeyForTesting(const std::string& inKey) {
    oxKeyBlock key;
    buildKey(inKey, key);
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
}

std::string getCryptorInitVectorForTesting() {
    return std::string(reinterpret_cast<const char*>(theInitVector), sizeof theInitVector);
}
