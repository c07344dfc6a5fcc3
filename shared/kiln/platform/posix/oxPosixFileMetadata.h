// What a new file must take over from the file it replaces, so that the
// replacement is the same file to the system and admits nobody the old
// one did not. For this folder's file modules only.
#ifndef OX_POSIX_FILE_METADATA_H
#define OX_POSIX_FILE_METADATA_H

#include <sys/stat.h>

#include <string>

enum class oxMetadataCopy {
    copied,
    ownerNotKept,  // the caller may not give the new file the old owner or group
    notCopied      // the access control list, an extended attribute or the label could not be kept
};

// Gives the open file inNew the owner and group (first, since changing
// them clears set-id bits), the permission bits, the access control list,
// the extended attributes and the security label of the open file inOld,
// whose status is inOldStatus. An ACL the new file inherited from its
// directory is replaced by the old file's (or by none), never kept.
// outReason says what could not be kept.
oxMetadataCopy copyFileMetadata(int inOld, int inNew, const struct stat& inOldStatus, std::string& outReason);

#endif
