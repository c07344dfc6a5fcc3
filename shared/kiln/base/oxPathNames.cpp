#include "oxPathNames.h"

bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

void splitPath(const std::string& inPath, std::string& outDir, std::string& outName) {
    if (inPath.empty()) {
        outDir.clear();
        outName.clear();
        return;
    }
    // A separator at the very end is not a split point.
    size_t position = inPath.size() >= 2 ? inPath.size() - 2 : 0;
    while (position != 0 && !isPathSeparator(inPath[position]) && inPath[position] != ':')
        --position;
    if (position == 0) {
        outName = inPath;
        outDir.clear();
        return;
    }
    // Built first, so that outputs aliasing inPath still read the whole path.
    std::string dir = inPath.substr(0, position + 1);
    std::string name = inPath.substr(position + 1);
    outDir.swap(dir);
    outName.swap(name);
}

std::string getFileNamePart(const std::string& inPath) {
    std::string dir;
    std::string name;
    splitPath(inPath, dir, name);
    return name;
}

std::string sourceLocation(const char* inFile, uint32_t inLine) {
    if (inFile == nullptr)
        return std::string();
    return getFileNamePart(inFile) + ":" + std::to_string(inLine);
}
