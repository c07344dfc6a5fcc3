// Test support: whole files read and written byte for byte, and a fresh
// folder per test that is removed with everything in it at the end.
#ifndef OX_TEST_FILES_H
#define OX_TEST_FILES_H

#include <filesystem>
#include <string>

// The file's bytes, untranslated; empty when it cannot be opened.
std::string readFileBytes(const std::filesystem::path& inPath);
// Replaces the file's contents with inBytes, untranslated; false when the
// file cannot be written whole.
bool writeFileBytes(const std::filesystem::path& inPath, const std::string& inBytes);

// A new, empty folder in the system's temporary folder, named after
// inPrefix and unique across processes, so that concurrent runs of the
// suite never share one. Throws std::filesystem::filesystem_error when it
// cannot be made.
class oxScratchDirectory {
public:
    explicit oxScratchDirectory(const std::string& inPrefix);
    // Removes the folder and everything in it; what cannot be removed
    // (a folder the test made unwritable) is left behind silently.
    ~oxScratchDirectory();
    oxScratchDirectory(const oxScratchDirectory&) = delete;
    oxScratchDirectory& operator=(const oxScratchDirectory&) = delete;

    // The folder's full path, symbolic links resolved.
    const std::filesystem::path& getPath() const { return itsPath; }
    // The path of inName inside the folder.
    std::string at(const std::string& inName) const { return (itsPath / inName).string(); }

private:
    std::filesystem::path itsPath;
};

#endif
