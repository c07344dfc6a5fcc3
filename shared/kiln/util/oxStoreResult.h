// What a read or write of the preferences store came to: success, or the
// kind of failure with its reason in plain words (for the line after the
// caller's own message) and, where text in the file is the cause, the line
// that holds it. A value: copy it, keep it, decide from its kind.
#ifndef OX_STORE_RESULT_H
#define OX_STORE_RESULT_H

#include <cstddef>
#include <string>

class oxStoreResult {
public:
    enum oxKind {
        ok,
        noFileName,
        // There is no file of that name, or no folder for it.
        missing,
        // Not a regular file this user may read, or reading it failed.
        unreadable,
        // An entry or comment is not well formed.
        malformed,
        // The file holds text beyond its entries, which a write would lose.
        foreignText,
        // Another writer holds the file lock, or the lock cannot be made.
        lockUnavailable,
        // The caller asked to stop; the file is as it was.
        interrupted,
        // Writing the file failed; the file is as it was.
        writeFailed
    };

    oxStoreResult() : itsKind(ok), itsLine(0) {}
    static oxStoreResult failure(oxKind inKind, const std::string& inReason, size_t inLine = 0) {
        return oxStoreResult(inKind, inReason, inLine);
    }

    explicit operator bool() const { return itsKind == ok; }
    oxKind getKind() const { return itsKind; }
    // Empty on success.
    const std::string& getReason() const { return itsReason; }
    // The line (from 1) of the file that caused the failure; 0 when none did.
    size_t getLine() const { return itsLine; }

private:
    oxStoreResult(oxKind inKind, const std::string& inReason, size_t inLine)
        : itsKind(inKind), itsReason(inReason), itsLine(inLine) {}

    oxKind itsKind;
    std::string itsReason;
    size_t itsLine;
};

#endif
