// The floor of the store's job, in plain system calls: what a store would
// do with no parsing and no rendering at all.
#ifndef OX_FLOOR_FILES_H
#define OX_FLOOR_FILES_H

#include <string>

class oxFloorFiles {
public:
    oxFloorFiles() = delete;

    // The whole file, into outBytes (which is sized to it).
    static bool readWhole(const std::string& inName, std::string& outBytes);
    // inBytes into a new or emptied file, synced to disk before it closes.
    static bool writeWholeAndSync(const std::string& inName, const std::string& inBytes);
    static bool syncDirectory(const std::string& inName);
};

#endif
