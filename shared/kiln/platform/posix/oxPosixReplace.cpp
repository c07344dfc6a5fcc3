// Safe replacement of a file's contents on POSIX: a temporary file renamed
// over the file where that keeps it what it was, else a write in place
// behind a journal. Signals that end the process are guarded against on
// both ways.
#include "oxPlatformExtras.h"
#include "oxPlatformFiles.h"
#include "oxPosixEndingSignals.h"
#include "oxPosixFileMetadata.h"
#include "oxPosixFileNames.h"
#include "oxPosixJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace {

void setReason(std::string* outReason, const std::string& inReason) {
    if (outReason != nullptr)
        *outReason = inReason;
}

// Sends a piece just written on its way to the disk while the next one is
// made, so that the closing fsync has less left to wait for. Only a hint:
// that fsync still reports any failure.
void startWriteBack(int inFile, off_t inOffset, size_t inLength) {
#if defined(__linux__)
    sync_file_range(inFile, inOffset, static_cast<off_t>(inLength), SYNC_FILE_RANGE_WRITE);
#else
    (void)inFile;
    (void)inOffset;
    (void)inLength;
#endif
}

// Writes what inSource gives from offset 0 on; outLength: how much.
bool writeSourceAt(int inFile, const oxChunkSource& inSource, off_t& outLength, std::string& outReason) {
    oxContentChunk chunk;
    outLength = 0;
    const auto writePart = [&](const char* inBytes, size_t inLength) {
        if (!writeAllAt(inFile, inBytes, inLength, outLength)) {
            outReason = reasonOf(errno);
            return false;
        }
        startWriteBack(inFile, outLength, inLength);
        outLength += static_cast<off_t>(inLength);
        return true;
    };
    for (oxPiece piece = oxPiece::more; piece == oxPiece::more;) {
        chunk.clear();
        piece = inSource(chunk);
        if (piece == oxPiece::cancelled) {
            outReason = "interrupted";
            return false;
        }
        if (!writePart(chunk.itsMade.data(), chunk.itsMade.size()) ||
            !writePart(chunk.itsBorrowed, chunk.itsBorrowedLength))
            return false;
    }
    return true;
}

// Opens the file that findFinalTarget found, and only that file.
int openSameFile(const std::string& inTarget, const struct stat& inOld, int inFlags) {
    const int file = retryInterrupted(
        [&] { return open(inTarget.c_str(), inFlags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (file < 0)
        return -1;
    struct stat status;
    if (retryInterrupted([&] { return fstat(file, &status); }) != 0 || !S_ISREG(status.st_mode) ||
        status.st_dev != inOld.st_dev || status.st_ino != inOld.st_ino) {
        close(file);
        errno = ESTALE;
        return -1;
    }
    // Regular files never block; clearing the flag keeps reads plain.
    fcntl(file, F_SETFL, fcntl(file, F_GETFL) & ~O_NONBLOCK);
    return file;
}

// --- Writing in place --------------------------------------------------------

// What a signal handler needs to undo a write in place: remove a journal
// that is being made, or put the old contents back and then remove it.
struct oxInPlaceWrite {
    int itsFile = -1;
    const std::string* itsOld = nullptr;
    std::atomic<const char*> itsJournal{nullptr};
    std::atomic<bool> itsWriting{false};
};

void undoInPlaceWrite(void* inWrite) {
    const oxInPlaceWrite* write = static_cast<const oxInPlaceWrite*>(inWrite);
    const char* journal = write->itsJournal.load();
    if (write->itsWriting.load()) {
        const std::string& old = *write->itsOld;
        if (!writeAllAt(write->itsFile, old.data(), old.size(), 0) ||
            ftruncate(write->itsFile, static_cast<off_t>(old.size())) != 0 || fsync(write->itsFile) != 0)
            return;  // the journal stays, for the next run to put back
    }
    if (journal != nullptr)
        unlink(journal);
}

bool putBack(int inFile, const std::string& inOld) {
    return writeAllAt(inFile, inOld.data(), inOld.size(), 0) &&
           retryInterrupted([&] { return ftruncate(inFile, static_cast<off_t>(inOld.size())); }) == 0 &&
           syncFile(inFile);
}

std::string tornReason(const std::string& inTarget, const std::string& inWriteReason, int inError,
                       const oxPosixJournal& inJournal) {
    const std::string kept = inJournal.isKept() ? "its old contents are kept in \"" + inJournal.path() + "\""
                                                : "no copy of its old contents could be kept on disk";
    return "the write failed (" + inWriteReason + ") and putting back the old contents failed too (" +
           reasonOf(inError) + "): \"" + inTarget + "\" may be torn; " + kept;
}

// The journal, made and known to the signal guard at once, then filled.
bool keepJournal(const std::string& inTarget, const struct stat& inOld, const std::string& inOldContents,
                 oxPosixJournal& ioJournal, oxInPlaceWrite& ioWrite, std::string& outReason) {
    oxPosixJournal::oxStart start;
    {
        oxEndingSignalsBlocked blocked;
        start = ioJournal.create(inTarget, outReason);
        if (start == oxPosixJournal::oxStart::kept)
            ioWrite.itsJournal.store(ioJournal.path().c_str());
    }
    if (start == oxPosixJournal::oxStart::kept && !ioJournal.fill(inOld, inOldContents, outReason)) {
        ioWrite.itsJournal.store(nullptr);
        return false;
    }
    return start != oxPosixJournal::oxStart::failed;
}

bool writeKeptFile(int inFile, const std::string& inTarget, const std::string& inOld,
                   oxPosixJournal& ioJournal, oxInPlaceWrite& ioWrite, const oxChunkSource& inSource,
                   std::string& outReason) {
    ioWrite.itsWriting.store(true);
    off_t length = 0;
    bool written = writeSourceAt(inFile, inSource, length, outReason);
    if (written && (retryInterrupted([&] { return ftruncate(inFile, length); }) != 0 || !syncFile(inFile))) {
        outReason = reasonOf(errno);
        written = false;
    }
    // On disk whole: a signal now only removes the journal.
    if (written)
        ioWrite.itsWriting.store(false);
    if (written && ioJournal.isKept() && !ioJournal.commit()) {
        // A journal that may still put the old contents back would undo
        // this write at the next run: then it is undone now.
        outReason = "the journal \"" + ioJournal.path() + "\" cannot be made void: " + reasonOf(errno);
        written = false;
    }
    if (written) {
        ioWrite.itsJournal.store(nullptr);
        ioWrite.itsWriting.store(false);
        return true;
    }
    const bool restored = putBack(inFile, inOld);
    const int error = errno;
    // From here on the handler has nothing left to undo.
    ioWrite.itsJournal.store(nullptr);
    ioWrite.itsWriting.store(false);
    if (restored) {
        ioJournal.discard();
        return false;
    }
    outReason = tornReason(inTarget, outReason, error, ioJournal);
    ioJournal.leave();
    return false;
}

// Writes the new contents over the file itself, for where a new file
// renamed over it would not be what it was. The old contents are kept in a
// journal on disk first (where the directory may be written), and in
// memory, and put back when the write fails or a signal ends the process.
bool overwriteInPlace(const std::string& inTarget, const struct stat& inOld, const oxChunkSource& inSource,
                      std::string& outReason) {
    const int file = openSameFile(inTarget, inOld, O_RDWR);
    if (file < 0) {
        outReason = reasonOf(errno);
        return false;
    }
    std::string old;
    bool written = false;
    if (!readWholeFile(file, old)) {
        outReason = reasonOf(errno);
    } else {
        oxPosixJournal journal;
        oxInPlaceWrite write;
        write.itsFile = file;
        write.itsOld = &old;
        oxEndingSignalGuard guard(undoInPlaceWrite, &write);
        written = keepJournal(inTarget, inOld, old, journal, write, outReason) &&
                  writeKeptFile(file, inTarget, old, journal, write, inSource, outReason);
    }
    // Synced before: an error of close changes nothing that is on disk.
    close(file);
    return written;
}

// --- Writing a temporary file and renaming it -------------------------------

// The temporary file a signal handler removes, once it is made.
struct oxTemporaryFile {
    std::atomic<const char*> itsPath{nullptr};
};

void removeTemporary(void* inTemporary) {
    if (const char* path = static_cast<oxTemporaryFile*>(inTemporary)->itsPath.load())
        unlink(path);
}

enum class oxRenameResult { renamed, failed, writeInPlace };

// The old file's metadata onto the temporary file, before any contents:
// renamed means it may go on. Where the new file would change hands or
// admit others, the file is to be written in place, where it stays what
// it is.
oxRenameResult takeOverMetadata(int inFile, const std::string& inTarget, const struct stat& inOld,
                                std::string& outReason) {
    const int old = openSameFile(inTarget, inOld, O_RDONLY);
    if (old < 0) {
        outReason = reasonOf(errno);
        return oxRenameResult::failed;
    }
    const oxMetadataCopy copy = copyFileMetadata(old, inFile, inOld, outReason);
    close(old);
    return copy == oxMetadataCopy::copied ? oxRenameResult::renamed : oxRenameResult::writeInPlace;
}

oxRenameResult fillAndRename(int inFile, const std::string& inTemporary, const std::string& inTarget,
                             bool inExists, const struct stat& inOld, const oxChunkSource& inSource,
                             std::string& outReason) {
    if (inExists) {
        const oxRenameResult metadata = takeOverMetadata(inFile, inTarget, inOld, outReason);
        if (metadata != oxRenameResult::renamed) {
            close(inFile);
            return metadata;
        }
    }
    off_t length = 0;
    bool filled = writeSourceAt(inFile, inSource, length, outReason);
    if (filled && !syncFile(inFile)) {
        outReason = reasonOf(errno);
        filled = false;
    }
    // An error from close may report a write that failed late (network
    // file systems); EINTR still closes the file on Linux.
    if (close(inFile) != 0 && errno != EINTR && filled) {
        outReason = reasonOf(errno);
        filled = false;
    }
    if (filled && retryInterrupted([&] { return rename(inTemporary.c_str(), inTarget.c_str()); }) != 0) {
        outReason = reasonOf(errno);
        filled = false;
    }
    return filled ? oxRenameResult::renamed : oxRenameResult::failed;
}

bool writeByRename(const std::string& inTarget, bool inExists, const struct stat& inOld,
                   const oxChunkSource& inSource, std::string& outReason) {
    std::string temporary;
    oxTemporaryFile guarded;
    oxRenameResult result;
    {
        oxEndingSignalGuard guard(removeTemporary, &guarded);
        int file;
        {
            // Made and known to the guard in one step.
            oxEndingSignalsBlocked blocked;
            file = createTemporaryFileBeside(inTarget, temporary);
            if (file >= 0)
                guarded.itsPath.store(temporary.c_str());
        }
        if (file < 0) {
            outReason = reasonOf(errno);
            return false;
        }
        result = fillAndRename(file, temporary, inTarget, inExists, inOld, inSource, outReason);
        if (result != oxRenameResult::renamed)
            retryInterrupted([&] { return unlink(temporary.c_str()); });
        guarded.itsPath.store(nullptr);
    }
    if (result == oxRenameResult::renamed) {
        syncDirectory(directoryOf(inTarget));
        return true;
    }
    return result == oxRenameResult::writeInPlace && overwriteInPlace(inTarget, inOld, inSource, outReason);
}

bool replaceFile(const std::string& inPath, const oxChunkSource& inSource, std::string& outReason) {
    std::string target;
    struct stat old {};
    const oxPosixTarget found =
        inPath.empty() ? oxPosixTarget::refused : findFinalTarget(inPath, target, old);
    if (found == oxPosixTarget::refused || lastComponentOf(target).empty()) {
        outReason =
            "its name cannot be followed safely (a link loop, or a link another user may have planted)";
        return false;
    }
    const bool exists = found == oxPosixTarget::found;
    if (exists && !S_ISREG(old.st_mode)) {
        outReason = "it is not a regular file";
        return false;
    }
    // One that could not be opened for writing is refused, as writing it in
    // place would be.
    if (exists &&
        retryInterrupted([&] { return faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS); }) != 0) {
        outReason = reasonOf(errno);
        return false;
    }
    // A rename would split hard links or fail in a directory the caller may
    // not write; the file itself is written then.
    if (exists && (old.st_nlink > 1 || !isWritableDirectory(directoryOf(target))))
        return overwriteInPlace(target, old, inSource, outReason);
    return writeByRename(target, exists, old, inSource, outReason);
}

}  // namespace

bool replaceFileContents(const std::string& inPath, const std::string& inBytes) {
    return replaceFileContentsFrom(inPath, [&inBytes](std::string& ioChunk) {
        ioChunk = inBytes;
        return oxPiece::last;
    });
}

bool replaceFileContentsFrom(const std::string& inPath, const oxContentSource& inSource,
                             std::string* outReason) {
    return replaceFileContentsInChunks(
        inPath, [&inSource](oxContentChunk& ioChunk) { return inSource(ioChunk.itsMade); }, outReason);
}

bool replaceFileContentsInChunks(const std::string& inPath, const oxChunkSource& inSource,
                                 std::string* outReason) {
    // Every file this makes or writes, the journal included.
    oxFileSizeSignalIgnored fileSizeSignal;
    std::string reason;
    const bool replaced = replaceFile(inPath, inSource, reason);
    if (!replaced)
        setReason(outReason, reason);
    return replaced;
}
