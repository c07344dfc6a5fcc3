// The journal of a write in place: the file's old contents, kept on disk
// beside it until the new contents are, so that a writer killed halfway
// (SIGKILL, a power cut) leaves what the next run needs to put the old
// contents back. For this folder's file modules only.
#ifndef OX_POSIX_JOURNAL_H
#define OX_POSIX_JOURNAL_H

#include <sys/stat.h>

#include <string>

class oxPosixJournal {
public:
    enum class oxStart {
        kept,         // on disk, synced: the file may now be written
        notPossible,  // the directory may not be written: the write goes without one
        failed        // no journal, and the file must not be touched
    };

    oxPosixJournal();
    // Removes a journal that was neither committed nor discarded: it is
    // only ever left on purpose (the old contents could not be put back).
    ~oxPosixJournal();
    oxPosixJournal(const oxPosixJournal&) = delete;
    oxPosixJournal& operator=(const oxPosixJournal&) = delete;

    // Makes the journal's file beside inTarget (links followed); kept means
    // made. Then fill writes and syncs it for the file whose status is
    // inStatus and whose contents are inOld; false (the journal gone)
    // when that fails.
    oxStart create(const std::string& inTarget, std::string& outReason);
    bool fill(const struct stat& inStatus, const std::string& inOld, std::string& outReason);
    // The new contents are synced: the journal is made void (cut to
    // nothing), then removed. False when it could not be made void, so that
    // it would put the old contents back: the caller must then put them
    // back itself.
    bool commit();
    // The old contents were put back: the journal goes.
    void discard();
    // The old contents could not be put back: the journal stays for the
    // next run, and for whoever mends the file by hand.
    void leave();
    bool isKept() const { return itsFile >= 0; }
    // Where it is; also while kept, for a signal handler (async-safe).
    const std::string& path() const { return itsPath; }

private:
    int itsFile;
    std::string itsPath;
};

// Whether a journal stands beside the file inPath names; one cheap lstat.
bool hasJournalBeside(const std::string& inPath);

// Puts the old contents kept in a journal beside the file inPath names
// back into it, then removes the journal: its writer died. A journal cut
// short, or one made for a file that is no longer there, is only removed
// (the file was not touched, or is another one). Call with the file's lock
// held, so that no live writer's journal is taken. False, with outReason,
// when a journal stays that could not be used: one made by another user
// (not the caller, the file's owner or root) or open to others, or old
// contents that could not be written back.
bool restoreFromJournal(const std::string& inPath, std::string& outReason);

#endif
