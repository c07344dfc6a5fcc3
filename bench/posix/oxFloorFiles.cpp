#include "oxFloorFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool oxFloorFiles::readWhole(const std::string& inName, std::string& outBytes) {
    const int file = open(inName.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (file < 0 || fstat(file, &status) != 0) {
        if (file >= 0)
            close(file);
        return false;
    }
    outBytes.resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < outBytes.size()) {
        const ssize_t got = read(file, &outBytes[done], outBytes.size() - done);
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    close(file);
    return done == outBytes.size();
}

bool oxFloorFiles::writeWholeAndSync(const std::string& inName, const std::string& inBytes) {
    const int file = open(inName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    size_t done = 0;
    while (done < inBytes.size()) {
        const ssize_t put = write(file, inBytes.data() + done, inBytes.size() - done);
        if (put <= 0)
            break;
        done += static_cast<size_t>(put);
    }
    const bool synced = done == inBytes.size() && fsync(file) == 0;
    return close(file) == 0 && synced;
}

bool oxFloorFiles::syncDirectory(const std::string& inName) {
    const int directory = open(inName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    const bool synced = fsync(directory) == 0;
    close(directory);
    return synced;
}
