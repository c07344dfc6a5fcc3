#include "oxCryptor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include "oxCryptorTesting.h"
#include "oxTestFiles.h"

namespace {

std::string encrypted(const std::string& inText, const std::string& inKey = "") {
    oxCryptor cryptor(inKey);
    std::string text;
    cryptor.encrypt(inText, text);
    return text;
}

// Written here rather than borrowed from the library under test, so that a
// fault in how it is driven cannot cancel out.
std::string toHex(const std::string& inBytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : inBytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

std::string fromHex(const std::string& inHex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < inHex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(inHex.substr(i, 2), nullptr, 16));
    return bytes;
}

std::filesystem::path findOnPath(const std::string& inProgram) {
    const char* path = std::getenv("PATH");
    const char separator = std::filesystem::path::preferred_separator == '\\' ? ';' : ':';
    std::stringstream directories(path ? path : "");
    std::string directory;
    while (std::getline(directories, directory, separator)) {
        for (const char* suffix : {"", ".exe"}) {
            const std::filesystem::path candidate = std::filesystem::path(directory) / (inProgram + suffix);
            std::error_code ignored;
            if (!directory.empty() && std::filesystem::is_regular_file(candidate, ignored))
                return candidate;
        }
    }
    return {};
}

// Decrypts inHex with the openssl command-line tool: an AES implementation
// that shares no code with the one that encrypted.
std::string decryptWithOpenssl(const std::filesystem::path& inOpenssl,
                               const std::filesystem::path& inDirectory, const std::string& inHex,
                               const std::string& inKey) {
    const std::filesystem::path cipherFile = inDirectory / "cipher.bin";
    const std::filesystem::path plainFile = inDirectory / "plain.bin";
    const std::filesystem::path errorFile = inDirectory / "errors.txt";
    std::filesystem::remove(plainFile);
    EXPECT_TRUE(writeFileBytes(cipherFile, fromHex(inHex)));

    const std::string command = "\"" + inOpenssl.string() + "\" enc -d -aes-256-cfb -nopad -K " +
                                toHex(getCryptorKeyForTesting(inKey)) + " -iv " +
                                toHex(getCryptorInitVectorForTesting()) + " -in \"" + cipherFile.string() +
                                "\" -out \"" + plainFile.string() + "\" 2>\"" + errorFile.string() + "\"";
    const int status = std::system(command.c_str());
    EXPECT_EQ(0, status) << command << "\n" << readFileBytes(errorFile);
    return readFileBytes(plainFile);
}

}  // namespace

TEST(oxCryptorTest, PaddedLengthAndDigits) {
    // The padding is zero bytes: an empty text is nine of them.
    EXPECT_EQ(encrypted(std::string(9, '\0')), encrypted(""));
    EXPECT_EQ(encrypted(std::string("ab\0\0\0\0\0\0\0", 9)), encrypted("ab"));
    EXPECT_EQ(30u, encrypted("1234567890123").size());

    // Nine bytes at least, else whole groups of three; two digits a byte.
    for (size_t length = 0; length <= 40; ++length) {
        const std::string text = encrypted(std::string(length, static_cast<char>(0xA0 + length)));
        const size_t padded = length < 9 ? 9 : (length + 2) / 3 * 3;
        EXPECT_EQ(2 * padded, text.size()) << "length " << length;
        EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789ABCDEF")) << text;
    }
}

TEST(oxCryptorTest, SameInputsSameDigitsAndKeyMixing) {
    oxCryptor cryptor("");
    std::string first;
    std::string second;
    cryptor.encrypt("s3cret!", first);
    cryptor.encrypt("s3cret!", second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, encrypted("s3cret!"));
    EXPECT_NE(first, encrypted("s3cret?"));

    // Zero bytes leave the base unchanged; any other byte changes the key.
    EXPECT_EQ(encrypted("pw", std::string(32, '\0')), encrypted("pw"));
    EXPECT_NE(encrypted("pw", "k"), encrypted("pw"));
    const std::string key32 = "0123456789abcdefghijklmnopqrstuv";
    EXPECT_EQ(encrypted("pw", key32 + "ignored!"), encrypted("pw", key32));
    EXPECT_NE(encrypted("pw", key32), encrypted("pw", key32.substr(0, 31) + "V"));

    // inKey is exclusive-ored over the base byte by byte.
    std::string base = getCryptorKeyForTesting("");
    ASSERT_EQ(32u, base.size());
    base[0] ^= 0x01;
    base[1] ^= static_cast<char>(0x80);
    EXPECT_EQ(base, getCryptorKeyForTesting("\x01\x80"));
    EXPECT_EQ(16u, getCryptorInitVectorForTesting().size());
}

TEST(oxCryptorTest, CommonPrefixAndInPlace) {
    EXPECT_EQ(encrypted("abc").substr(0, 6), encrypted("abcd").substr(0, 6));
    EXPECT_NE(encrypted("abc").substr(6, 2), encrypted("abcd").substr(6, 2));
    // Across block boundaries too: the first 20 bytes agree.
    const std::string prefix(20, 'x');
    EXPECT_EQ(encrypted(prefix + "1").substr(0, 40), encrypted(prefix + "2").substr(0, 40));

    oxCryptor cryptor("");
    for (const std::string& original : {std::string(""), std::string("pass"), std::string(33, 'p')}) {
        std::string copy;
        cryptor.encrypt(original, copy);
        std::string inPlace = original;
        cryptor.encrypt(inPlace, inPlace);
        EXPECT_EQ(copy, inPlace) << original;
    }

    // Whatever outText held before is replaced, not appended to.
    std::string reused = "previous content";
    cryptor.encrypt("pass", reused);
    EXPECT_EQ(encrypted("pass"), reused);
}

TEST(oxCryptorTest, OpensslDecryptsWhatWeWrite) {
    // The Windows build has the same known answers above; openssl is
    // Linux's here.
    if (std::filesystem::path::preferred_separator == '\\')
        GTEST_SKIP() << "openssl runs in the Linux build";
    const std::filesystem::path openssl = findOnPath("openssl");
    ASSERT_FALSE(openssl.empty()) << "openssl not found on PATH: install Debian's openssl package "
                                     "(scripts/install-deps.sh does)";
    const oxScratchDirectory scratch("oxCryptorTest");
    const std::filesystem::path& directory = scratch.getPath();

    const std::string high = "\xC3\xA9\x80\xFF\x7F";
    for (size_t length : {0u, 1u, 8u, 9u, 10u, 12u, 13u, 40u}) {
        std::string password;
        for (size_t i = 0; i < length; ++i)
            password += i % 3 == 0 ? high[i % high.size()] : static_cast<char>('a' + i % 26);
        const size_t padded = length < 9 ? 9 : (length + 2) / 3 * 3;
        const std::string expected = password + std::string(padded - length, '\0');
        EXPECT_EQ(expected, decryptWithOpenssl(openssl, directory, encrypted(password), ""))
            << "length " << length;
    }

    const std::string key = "an inKey longer than thirty-two bytes";
    EXPECT_EQ(std::string("p\xFFw\0\0\0\0\0\0", 9),
              decryptWithOpenssl(openssl, directory, encrypted("p\xFFw", key), key));
}
