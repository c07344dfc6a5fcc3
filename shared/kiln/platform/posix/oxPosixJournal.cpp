#include "oxPosixJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include "oxPosixFileNames.h"
#include "oxReplacementFiles.h"

namespace {

// Only a journal that someone who may write the file made is taken: a
// planted one would otherwise write its text into the file.
bool isTrusted(const struct stat& inJournal, const struct stat& inTarget) {
    const bool madeByWriter =
        inJournal.st_uid == geteuid() || inJournal.st_uid == 0 || inJournal.st_uid == inTarget.st_uid;
    return S_ISREG(inJournal.st_mode) && inJournal.st_nlink == 1 && madeByWriter &&
           (inJournal.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool readJournal(const std::string& inPath, std::string& outBytes) {
    const int file = retryInterrupted(
        [&] { return open(inPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (file < 0)
        return false;
    const bool read = readWholeFile(file, outBytes);
    close(file);
    return read;
}

bool putBack(const std::string& inTarget, const oxJournalHeader& inHeader, const std::string& inJournal,
             size_t inStart, bool& outSameFile, std::string& outReason) {
    const int file = retryInterrupted(
        [&] { return open(inTarget.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (file < 0) {
        outSameFile = errno != ENOENT;
        outReason = reasonOf(errno);
        return false;
    }
    struct stat status;
    outSameFile = retryInterrupted([&] { return fstat(file, &status); }) == 0 &&
                  static_cast<uint64_t>(status.st_dev) == inHeader.itsVolume &&
                  static_cast<uint64_t>(status.st_ino) == inHeader.itsFileNumber;
    bool restored = false;
    if (outSameFile) {
        const off_t size = static_cast<off_t>(inHeader.itsSize);
        restored = writeAllAt(file, inJournal.data() + inStart, inHeader.itsSize, 0) &&
                   retryInterrupted([&] { return ftruncate(file, size); }) == 0 && syncFile(file);
        if (!restored)
            outReason = reasonOf(errno);
    }
    close(file);
    return restored;
}

}  // namespace

oxPosixJournal::oxPosixJournal() : itsFile(-1) {}

oxPosixJournal::~oxPosixJournal() {
    if (itsFile >= 0)
        discard();
}

oxPosixJournal::oxStart oxPosixJournal::create(const std::string& inTarget, std::string& outReason) {
    itsPath = journalPathOf(inTarget);
    itsFile = retryInterrupted([&] {
        return open(itsPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    });
    if (itsFile >= 0)
        return oxStart::kept;
    const int error = errno;
    if ((error == EACCES || error == EPERM || error == EROFS) && !isWritableDirectory(directoryOf(inTarget)))
        return oxStart::notPossible;
    outReason = "its old contents cannot be kept aside in \"" + itsPath + "\": " + reasonOf(error);
    return oxStart::failed;
}

bool oxPosixJournal::fill(const struct stat& inStatus, const std::string& inOld, std::string& outReason) {
    const std::string header = makeJournalHeader(journalHeaderFor(
        static_cast<uint64_t>(inStatus.st_dev), static_cast<uint64_t>(inStatus.st_ino), inOld));
    if (!writeAllAt(itsFile, header.data(), header.size(), 0) ||
        !writeAllAt(itsFile, inOld.data(), inOld.size(), static_cast<off_t>(header.size())) ||
        !syncFile(itsFile)) {
        outReason = "its old contents cannot be kept aside in \"" + itsPath + "\": " + reasonOf(errno);
        discard();
        return false;
    }
    syncDirectory(directoryOf(itsPath));
    return true;
}

bool oxPosixJournal::commit() {
    // Void first: a journal whose removal never reaches the disk must not
    // put the old contents back over the new ones at the next run. Once
    // cut to nothing it is void to every reader; a failed sync of that is
    // only durability lost, with the new contents already synced.
    if (retryInterrupted([&] { return ftruncate(itsFile, 0); }) != 0)
        return false;
    syncFile(itsFile);
    discard();
    return true;
}

void oxPosixJournal::discard() {
    close(itsFile);
    itsFile = -1;
    retryInterrupted([&] { return unlink(itsPath.c_str()); });
}

void oxPosixJournal::leave() {
    close(itsFile);
    itsFile = -1;
}

bool hasJournalBeside(const std::string& inPath) {
    std::string target;
    struct stat status;
    if (findFinalTarget(inPath, target, status) == oxPosixTarget::refused)
        return false;
    struct stat journal;
    return retryInterrupted([&] { return lstat(journalPathOf(target).c_str(), &journal); }) == 0;
}

bool restoreFromJournal(const std::string& inPath, std::string& outReason) {
    std::string target;
    struct stat status;
    if (findFinalTarget(inPath, target, status) != oxPosixTarget::found)
        return true;
    const std::string path = journalPathOf(target);
    struct stat journal;
    if (retryInterrupted([&] { return lstat(path.c_str(), &journal); }) != 0)
        return errno == ENOENT;
    const std::string torn = "\"" + target + "\" may be torn: a write in place did not finish, and ";
    if (!isTrusted(journal, status)) {
        outReason = torn + "\"" + path + "\", which should hold its old contents, was not made by its writer";
        return false;
    }
    std::string bytes;
    oxJournalHeader header;
    size_t start = 0;
    if (!readJournal(path, bytes)) {
        outReason = torn + "its old contents in \"" + path + "\" cannot be read: " + reasonOf(errno);
        return false;
    }
    bool sameFile = false;
    std::string reason;
    if (parseJournal(bytes, header, start) && !putBack(target, header, bytes, start, sameFile, reason) &&
        sameFile) {
        outReason = torn + "putting back its old contents from \"" + path + "\" failed: " + reason;
        return false;
    }
    // Put back, cut short before the file was touched, or made for a file
    // that is no longer there.
    retryInterrupted([&] { return unlink(path.c_str()); });
    syncDirectory(directoryOf(path));
    return true;
}
