#include "oxReplacementFiles.h"

#include <cryptopp/crc.h>

#include <cstdio>
#include <cstring>

namespace {

// Long enough to tell a file by, short enough that any name stays within
// one component's 255 bytes with the hash and the suffix.
const size_t kLongestNameKept = 64;
const size_t kRandomLetters = 6;
const char kTemporaryEnd[] = ".tmp";
const char kJournalEnd[] = ".journal";
const char kJournalMagic[] = "oxJournal 1 ";
// The header is one short line: a bound keeps a foreign file from being
// scanned whole for its line end.
const size_t kLongestHeader = 128;

uint64_t hashOf(const std::string& inText) {
    // FNV-1a: stable across builds and platforms, which a stale temporary
    // left by an older build must still match.
    uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : inText) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    return hash;
}

std::string nameStartOf(const std::string& inName) {
    return "." + inName.substr(0, kLongestNameKept) + "." + fileNameHashOf(inName) + ".";
}

bool isLetterOrDigit(char inChar) {
    return (inChar >= 'a' && inChar <= 'z') || (inChar >= 'A' && inChar <= 'Z') ||
           (inChar >= '0' && inChar <= '9');
}

uint32_t checksumOf(const char* inBytes, size_t inLength) {
    CryptoPP::CRC32 crc;
    crc.Update(reinterpret_cast<const CryptoPP::byte*>(inBytes), inLength);
    CryptoPP::byte digest[CryptoPP::CRC32::DIGESTSIZE];
    crc.Final(digest);
    uint32_t value = 0;
    std::memcpy(&value, digest, sizeof value);
    return value;
}

}  // namespace

std::string fileNameHashOf(const std::string& inName) {
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hashOf(inName)));
    return digits;
}

std::string temporaryNameOf(const std::string& inName, uint64_t inSeed) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = nameStartOf(inName);
    for (size_t i = 0; i < kRandomLetters; ++i) {
        name += kLetters[inSeed % 62];
        inSeed /= 62;
    }
    return name + kTemporaryEnd;
}

bool isTemporaryNameOf(const std::string& inEntry, const std::string& inName) {
    const std::string start = nameStartOf(inName);
    const size_t endLength = sizeof kTemporaryEnd - 1;
    if (inEntry.size() != start.size() + kRandomLetters + endLength ||
        inEntry.compare(0, start.size(), start) != 0 ||
        inEntry.compare(start.size() + kRandomLetters, endLength, kTemporaryEnd) != 0)
        return false;
    for (size_t i = start.size(); i < start.size() + kRandomLetters; ++i) {
        if (!isLetterOrDigit(inEntry[i]))
            return false;
    }
    return true;
}

std::string backupNameOf(const std::string& inName, const std::string& inStamp, int inAttempt) {
    return inName + "." + inStamp + (inAttempt == 0 ? "" : "-" + std::to_string(inAttempt + 1)) + "~";
}

std::string journalNameOf(const std::string& inName) {
    std::string start = nameStartOf(inName);
    start.pop_back();
    return start + kJournalEnd;
}

oxJournalHeader journalHeaderFor(uint64_t inVolume, uint64_t inFileNumber, const std::string& inOldContents) {
    oxJournalHeader header;
    header.itsVolume = inVolume;
    header.itsFileNumber = inFileNumber;
    header.itsSize = inOldContents.size();
    header.itsChecksum = checksumOf(inOldContents.data(), inOldContents.size());
    return header;
}

std::string makeJournalHeader(const oxJournalHeader& inHeader) {
    char line[kLongestHeader];
    std::snprintf(line, sizeof line, "%s%llu %llu %llu %08lx\n", kJournalMagic,
                  static_cast<unsigned long long>(inHeader.itsVolume),
                  static_cast<unsigned long long>(inHeader.itsFileNumber),
                  static_cast<unsigned long long>(inHeader.itsSize),
                  static_cast<unsigned long>(inHeader.itsChecksum));
    return line;
}

bool parseJournal(const std::string& inJournal, oxJournalHeader& outHeader, size_t& outStart) {
    const size_t magicLength = sizeof kJournalMagic - 1;
    const size_t lineEnd = inJournal.find('\n');
    if (inJournal.compare(0, magicLength, kJournalMagic) != 0 || lineEnd == std::string::npos ||
        lineEnd >= kLongestHeader)
        return false;
    const std::string line = inJournal.substr(0, lineEnd + 1);
    unsigned long long volume = 0;
    unsigned long long fileNumber = 0;
    unsigned long long size = 0;
    unsigned long checksum = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str() + magicLength, "%llu %llu %llu %8lx\n%n", &volume, &fileNumber, &size,
                    &checksum, &consumed) != 4 ||
        consumed == 0)
        return false;
    oxJournalHeader header;
    header.itsVolume = volume;
    header.itsFileNumber = fileNumber;
    header.itsSize = size;
    header.itsChecksum = static_cast<uint32_t>(checksum);
    // A header rewritten from its own fields must be the line as read:
    // nothing else in it, no other spelling of the numbers.
    if (makeJournalHeader(header) != line || inJournal.size() - line.size() != size ||
        checksumOf(inJournal.data() + line.size(), static_cast<size_t>(size)) != header.itsChecksum)
        return false;
    outHeader = header;
    outStart = line.size();
    return true;
}
