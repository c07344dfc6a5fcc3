// The files that replacing a file's contents makes beside it while it
// works: temporary files, and the journal of a write in place. Their names
// and the journal's form are the same on every platform; each platform's
// file module makes, syncs and removes them. Free functions, safe from any
// thread; none throws but std::bad_alloc.
#ifndef OX_REPLACEMENT_FILES_H
#define OX_REPLACEMENT_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>

// Sixteen hex digits of a 64-bit hash of the whole file name inName (one
// path component). Temporaries and journals carry it, so that files whose
// names begin alike never share them, and so that no file another program
// or a person makes is taken for one of ours.
std::string fileNameHashOf(const std::string& inName);

// ".<inName, cut to 64 bytes>.<hash>.<six letters or digits>.tmp": the
// name of a temporary file that will replace inName; inSeed picks the
// letters. Within one component's limit for any inName.
std::string temporaryNameOf(const std::string& inName, uint64_t inSeed);
// Whether inEntry is a name temporaryNameOf gives for inName, with any seed.
bool isTemporaryNameOf(const std::string& inEntry, const std::string& inName);

// "<inName>.<inStamp>~", then "<inName>.<inStamp>-2~" and on for inAttempt
// 1, 2, ...: the names a backup of inName may take (a path works as well as
// a component). The sweep of temporaries never takes one.
std::string backupNameOf(const std::string& inName, const std::string& inStamp, int inAttempt);

// ".<inName, cut>.<hash>.journal": where a write in place keeps the old
// contents until the new ones are on disk.
std::string journalNameOf(const std::string& inName);

// What a journal says of the file it was made for: which file (volume and
// file number, as oxFileVersion has them) and its old contents' length and
// checksum.
struct oxJournalHeader {
    uint64_t itsVolume = 0;
    uint64_t itsFileNumber = 0;
    uint64_t itsSize = 0;
    uint32_t itsChecksum = 0;
};

// The journal's bytes are makeJournalHeader, then the old contents.
oxJournalHeader journalHeaderFor(uint64_t inVolume, uint64_t inFileNumber, const std::string& inOldContents);
std::string makeJournalHeader(const oxJournalHeader& inHeader);
// True only for a complete journal: a header, then exactly as many bytes as
// it names, with its checksum. A journal cut short (its writer died while
// making it, before the file itself was touched) is false. outStart: where
// the old contents begin in inJournal.
bool parseJournal(const std::string& inJournal, oxJournalHeader& outHeader, size_t& outStart);

#endif
