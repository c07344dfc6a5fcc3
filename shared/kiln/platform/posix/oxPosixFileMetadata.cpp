// Owner, mode, access control list and extended attributes through
// Debian's libacl and libattr, as coreutils copies them.
#include "oxPosixFileMetadata.h"

#include <acl/libacl.h>
#include <attr/error_context.h>
#include <attr/libattr.h>
#include <sys/acl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "oxPosixFileNames.h"

namespace {

bool isUnsupported(int inError) {
    return inError == ENOTSUP || inError == ENOSYS;
}

// The old file's ACL in full, a minimal one included, so that none the new
// file inherited stays. A file system without ACLs has none to keep.
bool copyAccessControlList(int inOld, int inNew, std::string& outReason) {
    acl_t acl = nullptr;
    do {
        acl = acl_get_fd(inOld);
    } while (acl == nullptr && errno == EINTR);
    if (acl == nullptr) {
        if (isUnsupported(errno))
            return true;
        outReason = "its access control list cannot be read: " + reasonOf(errno);
        return false;
    }
    int set = -1;
    do {
        set = acl_set_fd(inNew, acl);
    } while (set != 0 && errno == EINTR);
    // Where the new file takes no ACL, only one that the mode bits already
    // say would do.
    const int error = errno;
    const bool kept = set == 0 || (isUnsupported(error) && acl_equiv_mode(acl, nullptr) == 0);
    acl_free(acl);
    if (!kept)
        outReason = "its access control list cannot be kept: " + reasonOf(error);
    return kept;
}

struct oxAttributeErrors {
    struct error_context itsContext;
    int itsError;
};

void noteAttributeError(struct error_context* inContext, const char*, ...) {
    oxAttributeErrors* errors = reinterpret_cast<oxAttributeErrors*>(inContext);
    if (errors->itsError == 0)
        errors->itsError = errno != 0 ? errno : EIO;
}

// Every attribute but the ACLs (copied above) and those the system's
// xattr.conf says are not to be copied; the security label among them.
bool copyExtendedAttributes(int inOld, int inNew, std::string& outReason) {
    oxAttributeErrors errors{};
    errors.itsContext.error = noteAttributeError;
    for (int attempt = 0;; ++attempt) {
        errors.itsError = 0;
        const int copied =
            attr_copy_fd(nullptr, inOld, nullptr, inNew, attr_copy_check_permissions, &errors.itsContext);
        const int error = errors.itsError != 0 ? errors.itsError : errno;
        if (copied == 0 && errors.itsError == 0)
            return true;
        if (error == EINTR && attempt < 100)
            continue;
        if (isUnsupported(error))
            return true;
        outReason = "its extended attributes cannot be kept: " + reasonOf(error);
        return false;
    }
}

}  // namespace

oxMetadataCopy copyFileMetadata(int inOld, int inNew, const struct stat& inOldStatus,
                                std::string& outReason) {
    struct stat current;
    if (retryInterrupted([&] { return fstat(inNew, &current); }) != 0) {
        outReason = reasonOf(errno);
        return oxMetadataCopy::notCopied;
    }
    if ((current.st_uid != inOldStatus.st_uid || current.st_gid != inOldStatus.st_gid) &&
        retryInterrupted([&] { return fchown(inNew, inOldStatus.st_uid, inOldStatus.st_gid); }) != 0) {
        outReason = "its owner cannot be kept: " + reasonOf(errno);
        return oxMetadataCopy::ownerNotKept;
    }
    if (retryInterrupted([&] { return fchmod(inNew, inOldStatus.st_mode & 07777); }) != 0) {
        outReason = "its permissions cannot be kept: " + reasonOf(errno);
        return oxMetadataCopy::notCopied;
    }
    if (!copyAccessControlList(inOld, inNew, outReason) || !copyExtendedAttributes(inOld, inNew, outReason))
        return oxMetadataCopy::notCopied;
    return oxMetadataCopy::copied;
}
